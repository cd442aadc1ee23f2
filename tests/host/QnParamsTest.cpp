#include "QnParams.h"

#include <QTimer>

#include <gtest/gtest.h>

TEST(QnVariantTest, ConvertsBetweenScalarKinds)
{
    EXPECT_EQ(QnVariant(42).toInt(), 42);
    EXPECT_EQ(QnVariant(42).toString(), "42");
    EXPECT_DOUBLE_EQ(QnVariant(42).toDouble(), 42.0);
    EXPECT_TRUE(QnVariant(42).toBool());
    EXPECT_FALSE(QnVariant(0).toBool());

    EXPECT_EQ(QnVariant(true).toInt(), 1);
    EXPECT_EQ(QnVariant(false).toString(), "False");
    EXPECT_TRUE(QnVariant(QStringLiteral("True")).toBool());
    EXPECT_TRUE(QnVariant(QStringLiteral("1")).toBool());
    EXPECT_FALSE(QnVariant(QStringLiteral("false")).toBool());
    EXPECT_FALSE(QnVariant(QStringLiteral("0")).toBool());

    EXPECT_EQ(QnVariant(QStringLiteral(" 17 ")).toInt(), 17);
    EXPECT_EQ(QnVariant(QStringLiteral("-9999")).toInt(), -9999);
    EXPECT_DOUBLE_EQ(QnVariant(QStringLiteral("2.5")).toDouble(), 2.5);
    EXPECT_EQ(QnVariant(3.0).toInt(), 3);
    EXPECT_EQ(QnVariant(2.5).toString(), "2.5");

    EXPECT_EQ(QnVariant(QStringLiteral("采购开单")).toString(), QStringLiteral("采购开单"));
    EXPECT_EQ(QnVariant(QDate(2024, 2, 29)).toString(), "2024-02-29");
    EXPECT_EQ(QnVariant(QStringLiteral("2024-02-29")).toDate(), QDate(2024, 2, 29));
    EXPECT_EQ(QnVariant(QStringLiteral("2024-02-29 13:45:00")).toDateTime(),
              QDateTime(QDate(2024, 2, 29), QTime(13, 45)));

    // Empty is the neutral value of every kind.
    const QnVariant empty;
    EXPECT_TRUE(empty.isEmpty());
    EXPECT_EQ(empty.toInt(), 0);
    EXPECT_FALSE(empty.toBool());
    EXPECT_TRUE(empty.toString().isEmpty());
    EXPECT_EQ(empty.toObject(), nullptr);
}

TEST(QnVariantTest, ImpossibleConversionsThrowClearErrors)
{
    EXPECT_THROW(QnVariant(QStringLiteral("abc")).toInt(), PubError);
    EXPECT_THROW(QnVariant(QStringLiteral("abc")).toDouble(), PubError);
    EXPECT_THROW(QnVariant(QStringLiteral("maybe")).toBool(), PubError);
    EXPECT_THROW(QnVariant(2.5).toInt(), PubError); // a fraction is not silently dropped
    EXPECT_THROW(QnVariant(QStringLiteral("3000000000")).toInt(), PubError);
    EXPECT_THROW(QnVariant(QStringLiteral("not a date")).toDate(), PubError);
    EXPECT_THROW(QnVariant(5).toObject(), PubError);
    EXPECT_THROW(QnVariant(QDate(2024, 1, 1)).toInt(), PubError);

    QTimer timer;
    EXPECT_THROW(QnVariant(&timer).toInt(), PubError);
    EXPECT_THROW(QnVariant(&timer).toString(), PubError);

    try {
        QnVariant(QStringLiteral("abc")).toInt();
        FAIL() << "no exception";
    } catch (const PubError &e) {
        EXPECT_TRUE(e.text().contains("abc")) << e.text().toStdString();
        EXPECT_TRUE(e.text().contains("int")) << e.text().toStdString();
    }
}

TEST(QnVariantTest, CarriesObjectPointers)
{
    QObject plainObject;
    QTimer timer;
    const QnVariant v(&timer);
    EXPECT_EQ(v.type(), QnVariant::Type::Object);
    EXPECT_EQ(v.toObject(), &timer);
    EXPECT_EQ(v.toObjectAs<QTimer>(), &timer);
    // A different class gives null, not a bad cast.
    EXPECT_EQ(QnVariant(&plainObject).toObjectAs<QTimer>(), nullptr);

    int plain = 7;
    const QnVariant raw = QnVariant::fromPointer(&plain);
    EXPECT_EQ(raw.toPointer(), &plain);
    EXPECT_THROW(raw.toObject(), PubError); // not known to be a QObject

    EXPECT_EQ(QnVariant(nullptr).toObject(), nullptr);
}

TEST(QnVariantTest, RoundTripsThroughQVariant)
{
    EXPECT_EQ(QnVariant::fromVariant(QVariant(12)).toInt(), 12);
    EXPECT_EQ(QnVariant::fromVariant(QVariant(true)).type(), QnVariant::Type::Bool);
    EXPECT_EQ(QnVariant::fromVariant(QVariant(QStringLiteral("货品"))).toString(), QStringLiteral("货品"));
    EXPECT_TRUE(QnVariant::fromVariant(QVariant()).isEmpty());
    EXPECT_EQ(QnVariant(1.25).toVariant().toDouble(), 1.25);
    EXPECT_EQ(QnVariant(QStringLiteral("a")).toVariant().toString(), "a");
    EXPECT_THROW(QnVariant::fromVariant(QVariant(QStringList{"a"})), PubError);
}

TEST(QnParamsTest, NamedValuesCaseInsensitiveInInsertionOrder)
{
    QnParams p;
    EXPECT_FALSE(p.FindValue("NOTEID"));
    p.AddValue("NOTEID", 15);
    p.AddValue("NoteType", 4);
    p.AddValue("SHOWMODAL", true);
    EXPECT_TRUE(p.FindValue("noteid"));
    EXPECT_EQ(p.GetValue("notetype").toInt(), 4);
    EXPECT_TRUE(p.GetValue("ShowModal").toBool());
    EXPECT_EQ(p.Count(), 3);

    // Adding an existing name replaces the value in its place.
    p.AddValue("noteid", QStringLiteral("16"));
    EXPECT_EQ(p.Count(), 3);
    EXPECT_EQ(p.GetValue("NOTEID").toInt(), 16);

    QStringList names;
    for (const QnParams::Entry &e : p)
        names << e.name;
    EXPECT_EQ(names, (QStringList{"NOTEID", "NoteType", "SHOWMODAL"}));
    EXPECT_EQ(p.toText(), "NOTEID=16\nNoteType=4\nSHOWMODAL=True");

    EXPECT_THROW(p.GetValue("missing"), PubError);
    EXPECT_EQ(p.GetValue("missing", 9).toInt(), 9);
    EXPECT_TRUE(p.RemoveValue("NOTETYPE"));
    EXPECT_FALSE(p.FindValue("NoteType"));
    EXPECT_FALSE(p.RemoveValue("NoteType"));
    EXPECT_EQ(p.Count(), 2);
}
