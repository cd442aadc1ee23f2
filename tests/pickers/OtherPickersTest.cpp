// The store, partner and employee pickers: what each filter lists, who sees
// balances, typed text kept out of the SQL, and the keyboard through "PICK"
// and through a line's unknown store code.

#include "TestSupport.h"

#include "../commodity/SampleGoodsKind.h"
#include "NoteMessages.h"
#include "NoteTypes.h"
#include "PickBuildingForm.h"
#include "PickEmpForm.h"
#include "PickpartnerForm.h"
#include "Pk_note_itf.h"
#include "data/ClientDataSet.h"
#include "data/DataSource.h"
#include "widgets/DBGrid.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QTest>

// Messages print as text in failures.
inline void PrintTo(const QString &s, std::ostream *os) { *os << s.toStdString(); }

namespace {

using testsupport::keyIntoFocus;
using testsupport::showActive;
using testsupport::typeIntoFocus;

class OtherPickersTest : public testsupport::SessionTest {
protected:
    void SetUp() override
    {
        SessionTest::SetUp();
        m_field.AddFieldDefs({{QStringLiteral("ID"), data::FieldType::Integer}});
        m_field.CreateDataSet();
        m_field.Append();
        m_field.FieldByName(QStringLiteral("ID"))->SetAsInteger(3);
        m_field.Post();
    }
    // A column of the listed rows, sorted: the queries carry no order.
    static QStringList listed(TMasterPickForm &form)
    {
        QStringList out = testsupport::valuesIn(*form.cdsPick, "CODE");
        out.sort();
        return out;
    }
    static int modalResult(QWidget *w) { return w->property("modalResult").toInt(); }
    long pick(const char *argument, int noteType = 0)
    {
        QnParams p;
        p.AddValue(QStringLiteral("Field"), QnVariant::fromPointer(m_field.FieldByName(QStringLiteral("ID"))));
        p.AddValue(QStringLiteral("noteType"), noteType);
        return note_Call(QStringLiteral("PICK"), QString::fromLatin1(argument), &p);
    }
    qint64 id() const { return m_field.FieldByName(QStringLiteral("ID"))->AsInteger(); }

    data::ClientDataSet m_field;
};

TEST_F(OtherPickersTest, AreaAndAmountFiltersOfTheSupplierPicker)
{
    sql(QStringLiteral("insert into arealth (AREAID, LCODE, NAME) values (20, '0104', '浙江南部')"));
    sql(QStringLiteral("insert into partnerlth (PARTNERID, CODE, NAME, ISVENDOR, AREAID, BALANCE, SURAMT, SHOPERATEID) "
                       "values (901, 'S901', '温州五金', 1, 20, 500, 100, 0), "
                       "(902, 'S902', '分店供应商', 1, 4, 0, 0, 1), (903, 'K903', '杭州客户', 0, 4, 0, 0, 0)"));
    sql(QStringLiteral("update partnerlth set BALANCE = 80, SURAMT = 0 where CODE = 'S003'"));
    TPickpartnerForm form;
    form.Clear();
    EXPECT_EQ(listed(form), QStringList({"C005", "S001", "S002", "S003", "S004", "S005", "S901"}))
        << "open head-office suppliers only";

    // Every supplier whose area name contains the chosen one, nobody else.
    form.cmbArea->setCurrentText(QStringLiteral("浙江"));
    EXPECT_EQ(listed(form), QStringList({"C005", "S003", "S901"}));

    // Net balance (Balance-SurAmt) between the two amounts, both ends included.
    ASSERT_TRUE(form.ShowsBalance()) << "the administrator holds every right";
    form.edMinAmt->setText(QStringLiteral("80"));
    EXPECT_EQ(listed(form), QStringList({"S003", "S901"}));
    form.edMaxAmt->setText(QStringLiteral("399.99"));
    EXPECT_EQ(listed(form), QStringList({"S003"}));
    EXPECT_DOUBLE_EQ(form.cdsPick->FieldByName(QStringLiteral("CASH"))->AsFloat(), 80);
    form.Clear();
    EXPECT_EQ(listed(form).size(), 7) << "Clear lifts every filter";
    EXPECT_TRUE(errors().isEmpty()) << shownText();
}

TEST_F(OtherPickersTest, BalancesOnlyWithPrivilege550AndClientsOnlyTheOperatorsOwnWhenSoSet)
{
    sql(QStringLiteral("update partnerlth set BALANCE = 1000 where CODE = 'C001'"));
    SetCurrentUser(2); // the demo clerk 张伟, employee of C001, C004, C005 and C999
    for (const bool sees : {false, true}) {
        SCOPED_TRACE(sees ? "granted 550/1" : "clerk without 550");
        if (sees)
            grant(2, 550, {1});
        TPickpartnerForm suppliers;
        TPickClientForm clients;
        for (TPartnerPickForm *form : std::initializer_list<TPartnerPickForm *>{&suppliers, &clients}) {
            form->Clear();
            form->show();
            EXPECT_EQ(form->PickGrid->ColumnOfField(QStringLiteral("CASH")) >= 0, sees);
            EXPECT_EQ(form->edMinAmt->isVisible() && form->edMaxAmt->isVisible(), sees);
            // A hidden amount box filters nothing, whatever it holds.
            form->edMinAmt->setText(QStringLiteral("999"));
            EXPECT_EQ(form->cdsPick->RecordCount(), sees ? (form == &clients ? 1 : 0) : 6);
        }
    }
    TPickClientForm clients;
    setParam(4901, QStringLiteral("OnlyOwnClient"), QStringLiteral("1"));
    clients.Clear();
    EXPECT_EQ(listed(clients), QStringList({"C001", "C004", "C005", "C999"}));
    SetCurrentUser(1);
    clients.Clear();
    EXPECT_EQ(listed(clients), QStringList()) << "the administrator looks after no client";
    EXPECT_TRUE(errors().isEmpty()) << shownText();
}

TEST_F(OtherPickersTest, TypedQuotesWildcardsAndBracketsStayText)
{
    sql(QStringLiteral("insert into partnerlth (PARTNERID, CODE, NAME, ISVENDOR, ISCLIENT) "
                       "values (904, 'O''K-1', 'O''Neil [HK] 100%', 1, 1)"));
    sql(QStringLiteral("insert into employlth (EMPID, CODE, NAME) values (904, 'E''1', 'D''Arcy')"));
    // Store filters match the start of the text.
    sql(QStringLiteral("insert into storelth (BUILDINGID, CODE, NAME) values (904, '''Q1', '''Bob [A]')"));
    TPickpartnerForm partners;
    TPickClientForm clients;
    TPickEmpForm emps;
    TPickBuildingForm stores;
    const QList<std::pair<TMasterPickForm *, QList<QLineEdit *>>> boxes = {
        {&partners, {partners.edCode, partners.edName}},
        {&clients, {clients.edCode, clients.edName}},
        {&emps, {emps.edCode, emps.edName}},
        {&stores, {stores.edCode, stores.edName}},
    };
    for (const auto &[form, edits] : boxes) {
        SCOPED_TRACE(form->windowTitle().toStdString());
        const QString base = form->SqlText();
        for (QLineEdit *edit : edits) {
            // One quoted literal more, nothing listed, no error.
            QTest::keyClicks(edit, QStringLiteral("x' or 1=1 --%_[]"));
            EXPECT_EQ(form->SqlText().count(u'\''), base.count(u'\'') + 4) << form->SqlText().toStdString();
            EXPECT_TRUE(form->cdsPick->Active() && form->cdsPick->IsEmpty());
            // The row with a quote in its text is found by typing the quote.
            edit->setText(QStringLiteral("'"));
            EXPECT_EQ(form->cdsPick->RecordCount(), 1);
            edit->clear();
        }
    }
    partners.edName->setText(QStringLiteral("O'Neil [HK] 1"));
    EXPECT_EQ(listed(partners), QStringList({"O'K-1"}));
    EXPECT_TRUE(errors().isEmpty()) << shownText();
}

// (Cancel leaving the field: the package's picker hook test.)
TEST_F(OtherPickersTest, VendorAndEmployeePicksThroughNoteCallByKeyboardAndMouse)
{
    // Opened on the field's supplier; a code typed, Enter to the list, Enter chooses.
    m_modal.setHandler([](QWidget *w) {
        auto *f = dynamic_cast<TPickpartnerForm *>(w);
        if (!f)
            return 0;
        showActive(f);
        EXPECT_EQ(f->cdsPick->FieldByName(QStringLiteral("CODE"))->AsString(), QStringLiteral("S003"));
        EXPECT_EQ(QApplication::focusWidget(), f->edCode);
        EXPECT_TRUE(testsupport::saveShot(f, QStringLiteral("pick_partner"))); // for looking at by eye
        typeIntoFocus(QStringLiteral("002"));
        keyIntoFocus(Qt::Key_Return);
        EXPECT_EQ(QApplication::focusWidget(), f->PickGrid);
        keyIntoFocus(Qt::Key_Return);
        return modalResult(f);
    });
    EXPECT_EQ(pick("VENDOR"), 0);
    EXPECT_EQ(m_field.State(), data::DataSetState::Edit);
    EXPECT_EQ(id(), 2) << "华强电子";

    // The employee picker by department, chosen by a double click.
    m_modal.setHandler([](QWidget *w) {
        auto *f = dynamic_cast<TPickEmpForm *>(w);
        if (!f)
            return 0;
        showActive(f);
        f->cmbDepartment->setCurrentText(QStringLiteral("生产部"));
        EXPECT_EQ(listed(*f), QStringList({"007", "008"}));
        f->cmbEmpType->setCurrentText(QStringLiteral("业务员"));
        EXPECT_EQ(listed(*f), QStringList());
        f->cmbEmpType->setCurrentIndex(0);
        f->cdsPick->Locate(QStringLiteral("CODE"), QStringLiteral("008"));
        const QPoint at = f->PickGrid->visualRect(f->PickGrid->model()->index(f->cdsPick->RecNo() - 1, 1)).center();
        f->cdsPick->Locate(QStringLiteral("CODE"), QStringLiteral("007"));
        // A real double click: press and release, then the double click.
        QTest::mouseClick(f->PickGrid->viewport(), Qt::LeftButton, {}, at);
        EXPECT_TRUE(f->isVisible()) << "one click only moves";
        QTest::mouseDClick(f->PickGrid->viewport(), Qt::LeftButton, {}, at);
        return modalResult(f);
    });
    EXPECT_EQ(pick("EMP", 29), 0);
    EXPECT_EQ(id(), 8) << "周晓东";
    EXPECT_TRUE(errors().isEmpty()) << shownText();
}

TEST_F(OtherPickersTest, AnUnknownStoreCodeOnALineOpensTheStorePicker)
{
    goodskind::Install(*m_db);
    setParam(QStringLiteral("UseMsg"), QStringLiteral("0"));
    std::unique_ptr<goodskind::TTestGoodsForm> note(CreateNoteForm<goodskind::TTestGoodsForm>());
    ASSERT_EQ(pk_note::SendNoteMessage(note.get(), pk_note::NM_NOTEOPEN, 0, 0), pk_note::S_OK);
    note->show();
    note->muAppendDetailClick();
    data::ClientDataSet *lines = note->DetailDataSet();
    note->DetailDataSource()->SetFieldValue(lines->FieldByName(QStringLiteral("COMMODITYCODE")), QStringLiteral("BG0001"));

    m_modal.setHandler([this](QWidget *w) {
        auto *f = dynamic_cast<TPickBuildingForm *>(w);
        if (!f)
            return 0;
        showActive(f);
        EXPECT_EQ(f->edCode->text(), QStringLiteral("0原")) << "the typed code is the first filter";
        keyIntoFocus(Qt::Key_Return);
        keyIntoFocus(Qt::Key_Return);
        EXPECT_EQ(errors(), QStringList({"你选择的仓库不存在."}));
        EXPECT_TRUE(f->isVisible()) << "OK on the empty list refuses";
        f->edCode->setFocus();
        keyIntoFocus(Qt::Key_Backspace);
        EXPECT_EQ(listed(*f), QStringList({"01", "02", "03", "04"})) << "the shop's store stays out";
        typeIntoFocus(QStringLiteral("2"));
        keyIntoFocus(Qt::Key_Return);
        keyIntoFocus(Qt::Key_Return);
        return modalResult(f);
    });
    note->DetailDataSource()->SetFieldValue(lines->FieldByName(QStringLiteral("STORECODE")), QStringLiteral("0原"));
    ASSERT_EQ(m_modal.records().size(), 1);
    EXPECT_EQ(m_modal.records()[0].title, QStringLiteral("选择仓库"));
    EXPECT_EQ(note->DetailValue(QStringLiteral("BUILDINGID")).toInt(), 2);
    EXPECT_EQ(note->DetailValue(QStringLiteral("BUILDINGNAME")).toString(), QStringLiteral("原料仓库"));
    EXPECT_EQ(errors().size(), 1) << shownText();
}

} // namespace
