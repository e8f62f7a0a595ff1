#include "ui/widgets/QSTextFieldWithLinks.h"

QSTextFieldWithLinks::QSTextFieldWithLinks(QWidget *parent)
    : QLabel(parent)
{
}
