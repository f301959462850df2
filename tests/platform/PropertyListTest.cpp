#include "platform/PropertyList.h"

#include <QBuffer>
#include <QDateTime>

using namespace plimsy;

namespace {

std::optional<QVariantMap> read(const QByteArray &xml)
{
    QBuffer buffer;
    buffer.setData(xml);
    buffer.open(QIODevice::ReadOnly);
    return PropertyList::readDictionary(buffer);
}

} // namespace

TEST(PropertyListTest, ReadsEveryValueKind)
{
    const auto values = read(R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
    <key>autoRefreshInterval</key><integer>10</integer>
    <key>monitorSites</key><true/>
    <key>verboseLogging</key><false/>
    <key>ratio</key><real>0.5</real>
    <key>name</key><string>Plimsy &amp; co</string>
    <key>when</key><date>2001-01-01T00:00:00Z</date>
    <key>blob</key><data>aGVs
bG8=</data>
    <key>list</key><array><integer>1</integer><string>two</string></array>
    <key>nested</key><dict><key>empty</key><string/></dict>
</dict>
</plist>)");
    ASSERT_TRUE(values.has_value());
    EXPECT_EQ(values->value("autoRefreshInterval").toLongLong(), 10);
    EXPECT_EQ(values->value("monitorSites"), QVariant(true));
    EXPECT_EQ(values->value("verboseLogging"), QVariant(false));
    EXPECT_DOUBLE_EQ(values->value("ratio").toDouble(), 0.5);
    EXPECT_EQ(values->value("name").toString(), QStringLiteral("Plimsy & co"));
    EXPECT_EQ(values->value("when").toDateTime(), QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC));
    EXPECT_EQ(values->value("blob").toByteArray(), QByteArray("hello"));
    EXPECT_EQ(values->value("list").toList(), (QVariantList{qint64(1), QStringLiteral("two")}));
    EXPECT_EQ(values->value("nested").toMap().value("empty").toString(), QString());
}

TEST(PropertyListTest, RefusesWhatIsNotADictionaryPropertyList)
{
    EXPECT_FALSE(read("").has_value());
    EXPECT_FALSE(read("<plist><array/></plist>").has_value());
    EXPECT_FALSE(read("<plist><dict><key>a</key></dict></plist>").has_value());
    EXPECT_FALSE(read("<plist><dict><string>no key</string></dict></plist>").has_value());
    EXPECT_FALSE(read("<plist><dict><key>n</key><integer>ten</integer></dict></plist>").has_value());
    EXPECT_FALSE(read("<plist><dict><key>a</key><string>x</string>").has_value());
    EXPECT_FALSE(PropertyList::readDictionaryFile(QStringLiteral("/nonexistent/DefaultPreferences.plist")));
}

TEST(PropertyListTest, RefusesNestingDeeperThanItsBoundInsteadOfRunningOutOfStack)
{
    const auto nested = [](int depth) {
        return "<plist><dict><key>k</key>" + QByteArray("<array>").repeated(depth)
               + QByteArray("</array>").repeated(depth) + "</dict></plist>";
    };
    EXPECT_TRUE(read(nested(500)).has_value());
    EXPECT_FALSE(read(nested(200'000)).has_value());
}

struct DocumentRow
{
    const char *name;
    QByteArray xml;
    bool readable;
    QVariant number; // the value of "n", when the row has one
};

void PrintTo(const DocumentRow &row, std::ostream *out)
{
    *out << row.name;
}

class PropertyListDocumentTest : public ::testing::TestWithParam<DocumentRow>
{
};

TEST_P(PropertyListDocumentTest, ReadsTheWholeDocumentAndEveryIntegerPlistlibWrites)
{
    const auto values = read(GetParam().xml);
    ASSERT_EQ(values.has_value(), GetParam().readable);
    if (values && GetParam().number.isValid()) {
        const QVariant number = values->value("n");
        EXPECT_EQ(number.metaType(), GetParam().number.metaType());
        EXPECT_EQ(number, GetParam().number);
    }
}

QByteArray withNumber(const char *text)
{
    return QByteArray("<plist><dict><key>n</key><integer>") + text + "</integer></dict></plist>";
}

INSTANTIATE_TEST_SUITE_P(
    Documents,
    PropertyListDocumentTest,
    ::testing::Values(
        DocumentRow{"blanksAndCommentsAfter", "<plist><dict/></plist>\n<!-- kept by hand -->\n", true, {}},
        DocumentRow{"secondPlist", "<plist><dict/></plist><plist><dict/></plist>", false, {}},
        DocumentRow{"elementAfter", "<plist><dict/></plist><dict/>", false, {}},
        DocumentRow{"textAfter", "<plist><dict/></plist>trailing", false, {}},
        DocumentRow{"secondValueInside", "<plist><dict/><dict/></plist>", false, {}},
        DocumentRow{"smallestSigned", withNumber("-9223372036854775808"), true, QVariant(qint64(INT64_MIN))},
        DocumentRow{"largestSigned", withNumber("9223372036854775807"), true, QVariant(qint64(INT64_MAX))},
        DocumentRow{"twoToTheSixtyThird", withNumber("9223372036854775808"), true, QVariant(quint64(1) << 63)},
        DocumentRow{"largestUnsigned", withNumber(" 18446744073709551615 "), true, QVariant(quint64(UINT64_MAX))},
        DocumentRow{"pastUnsigned", withNumber("18446744073709551616"), false, {}},
        DocumentRow{"belowSigned", withNumber("-9223372036854775809"), false, {}}),
    [](const auto &info) { return std::string(info.param.name); });
