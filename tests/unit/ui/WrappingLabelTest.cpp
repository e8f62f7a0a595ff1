// The wrapping label keeps heights it gave, and never one for a text or shape it no longer has.

#include "TestEnv.h"
#include "UiTestSupport.h"

#include "ui/widgets/QSWrappingLabel.h"

#include <functional>

// After each change, a wrapping label and a plain one given the same changes answer alike at every
// width, also at widths asked before the change.
TEST(QSWrappingLabel, HeightsFollowEveryChangeOfTheTextAndItsShape)
{
    QSWrappingLabel wrapping;
    QLabel plain;
    const std::function<void(QLabel &)> changes[] = {
        [](QLabel &l) { l.setWordWrap(true); l.setText(QStringLiteral("A short line")); },
        [](QLabel &l) { l.setText(QStringLiteral("A longer text that wraps over several lines at the narrower widths")); },
        [](QLabel &l) { l.setTextFormat(Qt::RichText); l.setText(QStringLiteral("<p style='line-height:30px'>Rich text, wrapped the same way at every width</p>")); },
        [](QLabel &l) { QFont f = l.font(); f.setPixelSize(30); l.setFont(f); },
        [](QLabel &l) { l.setMargin(12); },
        [](QLabel &l) { l.setIndent(40); },
        [](QLabel &l) { l.setContentsMargins(5, 20, 5, 20); },
        [](QLabel &l) { l.setWordWrap(false); },
    };
    for (const auto &change : changes) {
        change(wrapping);
        change(plain);
        for (const int width : {120, 300, 120, 800})
            EXPECT_EQ(wrapping.heightForWidth(width), plain.heightForWidth(width)) << plain.text().toStdString() << " at " << width;
    }
}
