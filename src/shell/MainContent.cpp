#include "shell/MainContent.h"

#include "ui/QSMainController.h"
#include "ui/QSRemovalController.h"

#include <QCoreApplication>

namespace shell {

QWidget *createMainContent()
{
    return new QSMainController(QCoreApplication::arguments());
}

QWidget *createRemovalContent()
{
    return new QSRemovalController;
}

}  // namespace shell
