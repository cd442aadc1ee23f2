#include "HostFixture.h"

#include <QFile>

using namespace hosttest;

class SettingsTest : public HostTest {};

TEST_F(SettingsTest, RoundTripInUtf8BesideTheProgramReadsHandWrittenFilesAndReportsWriteFailures)
{
    EXPECT_EQ(ReadIni("System.ini", "FORMSIZE", "TPBUYFORM::LEFT", "-1"), "-1");

    WriteIniInt("System.ini", "FORMSIZE", "TPBUYFORM::LEFT", 120);
    WriteIniInt("System.ini", "FORMSIZE", "TPBUYFORM::WIDTH", 800);
    WriteIni("System.ini", "PBuyForm", "cmbPayMethod", "转账支票");
    WriteIni("System.ini", "LoadDetail", "FileName", "/home/用户/明细 2024.csv");
    WriteIni("PrintName.ini", "TPBUYFORM", "FORMNAME", "采购开单(默认)");

    EXPECT_EQ(ReadIni("system.ini", "formsize", "tpbuyform::width"), "800"); // any case
    EXPECT_EQ(ReadIniInt("PrintName.ini", "TPBUYFORM", "FORMNAME", -7), -7); // not a number

    // The file is UTF-8 INI text in the program's folder, keys escaped as QSettings does.
    QFile f(m_folder.file("System.ini"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    f.close();
    EXPECT_TRUE(text.contains("[FORMSIZE]\nTPBUYFORM%3A%3ALEFT=120\nTPBUYFORM%3A%3AWIDTH=800\n"));
    EXPECT_TRUE(text.contains("[PBuyForm]\ncmbPayMethod=转账支票\n"));

    // Overwriting in another case changes the stored key; line breaks cannot split
    // a value; keys come back sorted.
    WriteIniInt("System.ini", "formsize", "tpbuyform::left", 5);
    WriteIni("System.ini", "PBuyForm", "cmbNoteType", "a\nb");
    EXPECT_EQ(ReadIni("System.ini", "PBuyForm", "cmbNoteType"), "a b");
    EXPECT_EQ(ReadIniSection("System.ini", "FORMSIZE"), (QStringList{"TPBUYFORM::LEFT", "TPBUYFORM::WIDTH"}));
    EXPECT_EQ(ReadIniInt("System.ini", "FORMSIZE", "TPBUYFORM::LEFT", -1), 5);

    EXPECT_TRUE(IniSectionExists("System.ini", "pbuyform"));
    EraseIniSection("System.ini", "PBuyForm");
    EXPECT_FALSE(IniSectionExists("System.ini", "PBuyForm"));
    EXPECT_EQ(ReadIni("System.ini", "LoadDetail", "FileName"), "/home/用户/明细 2024.csv"); // the others stay

    // A hand-written file.
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray("; comment\r\n[FORMSIZE]\r\nTSALEFORM::LEFT=40\r\n[SaleForm]\r\n  cmbStoreM = 01 \r\n"
                       "FileName=a,b\r\n[Other]\r\nk=v\r\n"));
    f.close();
    EXPECT_EQ(ReadIniInt("System.ini", "formsize", "TSaleForm::Left", 0), 40);
    EXPECT_EQ(ReadIni("System.ini", "SaleForm", "cmbStoreM"), "01");
    // QSettings splits an unquoted value at commas; the pieces are joined again.
    EXPECT_EQ(ReadIni("System.ini", "SaleForm", "FileName"), "a,b");
    EXPECT_EQ(ReadIni("System.ini", "Other", "k"), "v");
    WriteIni("System.ini", "SaleForm", "cmbEmp", "3");
    WriteIni("System.ini", "SaleForm", "FileName", "c,d");
    EXPECT_EQ(ReadIniSection("System.ini", "SaleForm"), (QStringList{"FileName", "cmbEmp", "cmbStoreM"}));
    EXPECT_EQ(ReadIni("System.ini", "SaleForm", "FileName") + ReadIni("System.ini", "Other", "k"), "c,dv");
    // Writing drops the comments of a hand-written file.
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_FALSE(f.readAll().contains("; comment"));
    f.close();

    EXPECT_EQ(IniPath("System.ini"), m_folder.file("System.ini"));
    SetProgramFolder("/proc/no-such-folder");
    EXPECT_THROW(WriteIni("System.ini", "A", "b", "c"), PubError);
    SetProgramFolder(m_folder.path());
}
