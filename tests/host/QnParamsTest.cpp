#include "QnParams.h"
#include "TestSupport.h"

#include <QTimer>

#include <gtest/gtest.h>

TEST(QnVariantTest, ConvertsBetweenScalarKinds)
{
    // value -> (int, string, bool) where the conversion is possible
    struct Case {
        QnVariant v;
        QVariant asInt, asString, asBool;
    } cases[] = {
        {QnVariant(42), 42, "42", true},
        {QnVariant(0), 0, "0", false},
        {QnVariant(true), 1, "True", true},
        {QnVariant(false), 0, "False", false},
        {QnVariant("True"), {}, "True", true},
        {QnVariant("1"), 1, "1", true},
        {QnVariant("false"), {}, "false", false},
        {QnVariant(" 17 "), 17, " 17 ", {}},
        {QnVariant("-9999"), -9999, "-9999", {}},
        {QnVariant(3.0), 3, "3", {}},
        {QnVariant(2.5), {}, "2.5", {}},
        {QnVariant(QDate(2024, 2, 29)), {}, "2024-02-29", {}},
        {QnVariant(), 0, "", false}, // empty is the neutral value of every kind
    };
    for (const Case &c : cases) {
        const std::string at = c.asString.toString().toStdString();
        if (c.asInt.isValid()) {
            EXPECT_EQ(c.v.toInt(), c.asInt.toInt()) << at;
        }
        EXPECT_EQ(c.v.toString(), c.asString.toString()) << at;
        if (c.asBool.isValid()) {
            EXPECT_EQ(c.v.toBool(), c.asBool.toBool()) << at;
        }
    }
    EXPECT_DOUBLE_EQ(QnVariant("2.5").toDouble(), 2.5);
    EXPECT_EQ(QnVariant("2024-02-29").toDate(), QDate(2024, 2, 29));
    EXPECT_EQ(QnVariant("2024-02-29 13:45:00").toDateTime(), QDateTime(QDate(2024, 2, 29), QTime(13, 45)));
    EXPECT_TRUE(QnVariant().isEmpty());
    EXPECT_EQ(QnVariant().toObject(), nullptr);
}

TEST(QnVariantTest, CarriesObjectsPointersAndQVariantsAndRefusesImpossibleConversions)
{
    QTimer timer;
    const std::function<void()> bad[] = {
        [] { QnVariant("abc").toDouble(); },
        [] { QnVariant("maybe").toBool(); },
        [] { QnVariant(2.5).toInt(); }, // a fraction is not silently dropped
        [] { QnVariant("3000000000").toInt(); },
        [] { QnVariant("not a date").toDate(); },
        [] { QnVariant(5).toObject(); },
        [] { QnVariant(QDate(2024, 1, 1)).toInt(); },
        [&] { QnVariant(&timer).toInt(); },
        [&] { QnVariant(&timer).toString(); },
        [] { QnVariant::fromVariant(QVariant(QStringList{"a"})); },
    };
    for (size_t i = 0; i < std::size(bad); ++i)
        EXPECT_THROW(bad[i](), PubError) << i;
    const QString error = testsupport::errorOf([] { QnVariant("abc").toInt(); });
    EXPECT_TRUE(error.contains("abc") && error.contains("int")) << error.toStdString();

    // Objects, pointers and QVariants.
    QObject plainObject;
    EXPECT_EQ(QnVariant(&timer).toObjectAs<QTimer>(), &timer);
    EXPECT_EQ(QnVariant(&plainObject).toObjectAs<QTimer>(), nullptr); // not a bad cast
    int plain = 7;
    const QnVariant raw = QnVariant::fromPointer(&plain);
    EXPECT_EQ(raw.toPointer(), &plain);
    EXPECT_THROW(raw.toObject(), PubError); // not known to be a QObject

    EXPECT_EQ(QnVariant::fromVariant(QVariant(true)).type(), QnVariant::Type::Bool);
    EXPECT_EQ(QnVariant::fromVariant(QVariant("货品")).toString(), "货品");
    EXPECT_TRUE(QnVariant::fromVariant(QVariant()).isEmpty());
    EXPECT_EQ(QnVariant(1.25).toVariant().toDouble(), 1.25);
}

TEST(QnParamsTest, NamedValuesCaseInsensitiveInInsertionOrder)
{
    QnParams p;
    p.AddValue("NOTEID", 15);
    p.AddValue("NoteType", 4);
    p.AddValue("SHOWMODAL", true);
    EXPECT_EQ(p.GetValue("notetype").toInt(), 4);
    // Adding an existing name replaces the value in its place.
    p.AddValue("noteid", "16");
    EXPECT_EQ(p.toText(), "NOTEID=16\nNoteType=4\nSHOWMODAL=True");

    EXPECT_THROW(p.GetValue("missing"), PubError);
    EXPECT_EQ(p.GetValue("missing", 9).toInt(), 9);
    EXPECT_TRUE(p.RemoveValue("NOTETYPE"));
    EXPECT_FALSE(p.RemoveValue("NoteType")); // gone
    EXPECT_FALSE(p.FindValue("missing"));
}
