#include "shell/MainContent.h"

#include "ui/QSMainController.h"

#include <QCoreApplication>

namespace shell {

QWidget *createMainContent()
{
    return new QSMainController(QCoreApplication::arguments());
}

}  // namespace shell
