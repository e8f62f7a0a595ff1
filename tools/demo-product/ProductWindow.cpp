#include "ProductWindow.h"

#include <QFont>
#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

namespace corvala {

ProductWindow::ProductWindow(const QStringList &arguments, QWidget *parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("Corvala"));
    setObjectName(QStringLiteral("CorvalaWindow"));
    resize(480, 320);

    auto *title = new QLabel(QStringLiteral("Corvala"), this);
    title->setObjectName(QStringLiteral("productName"));
    QFont titleFont = title->font();
    titleFont.setPointSize(32);
    titleFont.setBold(true);
    title->setFont(titleFont);
    title->setAlignment(Qt::AlignCenter);

    auto *caption = new QLabel(arguments.isEmpty() ? tr("Launched without arguments")
                                                   : tr("Launched with these arguments:"),
                               this);
    caption->setAlignment(Qt::AlignCenter);

    auto *list = new QListWidget(this);
    list->setObjectName(QStringLiteral("arguments"));
    list->addItems(arguments);
    list->setVisible(!arguments.isEmpty());

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addWidget(caption);
    layout->addWidget(list, 1);
}

}  // namespace corvala
