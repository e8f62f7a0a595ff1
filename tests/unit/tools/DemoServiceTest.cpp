// The demo service's upload path check: a log upload lands under its folder or nowhere. Its
// handlers are met over HTTP by every end-to-end run.

#include "LogCollector.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

TEST(LogCollector, AcceptsOnlyPathsThatStayInsideTheFolder)
{
    const std::pair<QString, bool> cases[] = {
        {u"0a1b2c3d-aaaa-4bbb-8ccc-123456789012/tiny-2026-12-05T13-52-54.log"_s, true}, {u"tiny.log"_s, true},
        {u"a/b/c/..d.log"_s, true}, {u".."_s, false}, {u"../x.log"_s, false}, {u"a/../../x.log"_s, false},
        {u"a/.."_s, false}, {u"./x.log"_s, false}, {u"/etc/x.log"_s, false}, {u""_s, false},
        {u"a//b.log"_s, false}, {u"dir/"_s, false}, {u"a\0/b.log"_s, false}};
    for (const auto &[path, accepted] : cases)
        EXPECT_EQ(demo::LogCollector::safeRelativePath(path).has_value(), accepted) << qPrintable(path);
}
