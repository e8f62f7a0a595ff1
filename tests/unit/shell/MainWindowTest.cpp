// The window moves when its background is dragged, not when a control inside is used.

#include "shell/MainWindow.h"

#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace {

// A drag as the pointer makes it: fixed points on the screen, whatever the widget does meanwhile.
void drag(QWidget *from, QPoint start, QPoint by)
{
    const QPoint origin = from->mapToGlobal(start);
    QTest::mousePress(from, Qt::LeftButton, Qt::NoModifier, start);
    QTest::mouseMove(from, from->mapFromGlobal(origin + by / 2));
    QTest::mouseMove(from, from->mapFromGlobal(origin + by));
    QTest::mouseRelease(from, Qt::LeftButton, Qt::NoModifier, from->mapFromGlobal(origin + by));
}

}  // namespace

TEST(MainWindow, DraggingTheBackgroundMovesTheWindowButAButtonDoesNot)
{
    shell::MainWindow window;
    auto *content = new QWidget;
    auto *layout = new QVBoxLayout(content);
    auto *button = new QPushButton(QStringLiteral("Install"));
    layout->addWidget(button);
    window.setContent(content);
    window.move(100, 100);
    window.bringToFront();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    const QPoint start = window.pos();
    drag(content, QPoint(5, 5), QPoint(40, 25));  // the content's empty background
    EXPECT_EQ(window.pos(), start + QPoint(40, 25));

    const QPoint afterBackground = window.pos();
    drag(button, button->rect().center(), QPoint(40, 25));
    EXPECT_EQ(window.pos(), afterBackground);
}

TEST(MainWindow, ClosingItAsksTheApplicationToEnd)
{
    shell::MainWindow window;
    int asked = 0;
    QObject::connect(&window, &shell::MainWindow::closeRequested, [&asked] { ++asked; });
    window.show();
    window.close();
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(window.isVisible());
}

