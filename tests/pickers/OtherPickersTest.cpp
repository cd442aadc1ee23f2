// The store, partner and employee pickers on fresh demo books: what each
// filter lists, who sees balances, text that must not reach SQL as SQL, and
// the pickers driven from the keyboard by note_Call "PICK" and by a commodity
// line whose typed store code matches nothing.

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

class OtherPickersTest : public testsupport::SessionTest {
protected:
    // A column of the listed rows, sorted: the queries carry no order.
    static QStringList listed(TMasterPickForm &form, const char *field = "CODE")
    {
        QStringList out;
        data::Field *f = form.cdsPick->FieldByName(QString::fromLatin1(field));
        for (int r = 0; r < form.cdsPick->RecordCount(); ++r)
            out << form.cdsPick->ValueAt(r, f->Index()).toString();
        out.sort();
        return out;
    }
    static void showActive(QWidget *w)
    {
        w->show();
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    }
    static void key(Qt::Key k)
    {
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        QTest::keyClick(QApplication::focusWidget(), k);
    }
    static void type(const QString &text)
    {
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        QTest::keyClicks(QApplication::focusWidget(), text);
    }
    static int modalResult(QWidget *w) { return w->property("modalResult").toInt(); }
    std::string errorText() const { return errors().join(u'|').toStdString(); }
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
    EXPECT_EQ(form.windowTitle(), QStringLiteral("选择供应商"));
    EXPECT_EQ(listed(form), QStringList({"C005", "S001", "S002", "S003", "S004", "S005", "S901"}))
        << "open head-office suppliers only";

    // Every supplier whose area name contains the chosen one, nobody else.
    form.cmbArea->setCurrentText(QStringLiteral("浙江"));
    EXPECT_EQ(listed(form), QStringList({"C005", "S003", "S901"}));
    EXPECT_TRUE(form.SqlText().endsWith(QStringLiteral("(shoperateid is null or shoperateid=0) AND A.Name like '%浙江%'")))
        << form.SqlText().toStdString();
    form.edName->setText(QStringLiteral("哈"));
    EXPECT_EQ(listed(form), QStringList({"S003"}));
    form.edName->clear();

    // Net balance (Balance-SurAmt) between the two amounts, both ends included.
    ASSERT_TRUE(form.ShowsBalance()) << "the administrator holds every right";
    form.edMinAmt->setText(QStringLiteral("80"));
    EXPECT_EQ(listed(form), QStringList({"S003", "S901"}));
    form.edMaxAmt->setText(QStringLiteral("399.99"));
    EXPECT_EQ(listed(form), QStringList({"S003"}));
    EXPECT_DOUBLE_EQ(form.cdsPick->FieldByName(QStringLiteral("CASH"))->AsFloat(), 80);

    // "全部" lifts the area filter; Clear lifts them all.
    form.cmbArea->setCurrentIndex(0);
    EXPECT_EQ(listed(form), QStringList({"S003"}));
    form.Clear();
    EXPECT_EQ(listed(form).size(), 7);
    EXPECT_EQ(form.cmbArea->currentText(), QStringLiteral("全部"));
    EXPECT_TRUE(errors().isEmpty()) << errorText();
}

TEST_F(OtherPickersTest, BalancesOnlyForHoldersOfPrivilege550)
{
    sql(QStringLiteral("update partnerlth set BALANCE = 1000 where CODE = 'C001'"));
    SetCurrentUser(2); // the demo clerk
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round ? "granted 550/1" : "clerk without 550");
        const bool sees = round == 1;
        for (auto *form : {static_cast<TPartnerPickForm *>(new TPickpartnerForm),
                           static_cast<TPartnerPickForm *>(new TPickClientForm)}) {
            std::unique_ptr<TPartnerPickForm> owned(form);
            form->Clear();
            form->show();
            EXPECT_EQ(form->PickGrid->ColumnOfField(QStringLiteral("CASH")) >= 0, sees);
            EXPECT_EQ(form->edMinAmt->isVisible(), sees);
            EXPECT_EQ(form->edMaxAmt->isVisible(), sees);
            // A hidden amount box filters nothing, whatever it holds.
            form->edMinAmt->setText(QStringLiteral("999"));
            const bool clients = form->windowTitle() == QStringLiteral("选择客户");
            EXPECT_EQ(form->cdsPick->RecordCount(), sees ? (clients ? 1 : 0) : 6)
                << form->windowTitle().toStdString();
        }
        if (!sees)
            grant(2, 550, {1});
    }
    EXPECT_TRUE(errors().isEmpty()) << errorText();
}

TEST_F(OtherPickersTest, ClientsLimitedToTheOperatorsOwnWhenTheBooksSaySo)
{
    SetCurrentUser(2); // 张伟, the employee of C001, C004, C005 and C999
    TPickClientForm form;
    form.Clear();
    EXPECT_EQ(form.windowTitle(), QStringLiteral("选择客户"));
    EXPECT_EQ(listed(form), QStringList({"C001", "C002", "C003", "C004", "C005", "C999"}));
    setParam(4901, QStringLiteral("OnlyOwnClient"), QStringLiteral("1"));
    form.Clear();
    EXPECT_EQ(listed(form), QStringList({"C001", "C004", "C005", "C999"}));
    EXPECT_TRUE(form.SqlText().contains(
        QStringLiteral(" and EmpID in (Select EmpID from Employlth where OperaterID = 2)")));
    SetCurrentUser(1);
    form.Clear();
    EXPECT_EQ(listed(form), QStringList()) << "the administrator looks after no client";
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
            for (const QString &typed : {QStringLiteral("x' or 1=1 --"), QStringLiteral("%_[]'"), QStringLiteral("'")}) {
                edit->clear();
                QTest::keyClicks(edit, typed);
                EXPECT_EQ(form->SqlText().count(u'\''), base.count(u'\'') + 2 + 2 * typed.count(u'\''))
                    << "one quoted literal more: " << form->SqlText().toStdString();
                EXPECT_TRUE(form->cdsPick->Active());
            }
            // The row with a quote in the text is found by typing the quote.
            edit->setText(QStringLiteral("'"));
            EXPECT_EQ(listed(*form, "CODE").size(), 1);
            edit->setText(QStringLiteral("x' or 1=1 --"));
            EXPECT_EQ(form->cdsPick->RecordCount(), 0);
            edit->clear();
        }
    }
    partners.edName->setText(QStringLiteral("O'Neil [HK] 1"));
    EXPECT_EQ(listed(partners), QStringList({"O'K-1"}));
    EXPECT_TRUE(errors().isEmpty()) << errorText();
}

TEST_F(OtherPickersTest, StorePickerListsHeadOfficeStoresAndRefusesAnEmptyChoice)
{
    TPickBuildingForm form;
    form.SetFilterText(QStringLiteral("0"));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("选择仓库"));
    EXPECT_EQ(form.edCode->text(), QStringLiteral("0"));
    EXPECT_EQ(listed(form), QStringList({"01", "02", "03", "04"})) << "the shop's store stays out";
    form.edName->setText(QStringLiteral("成品"));
    EXPECT_EQ(listed(form), QStringList({"03"}));
    EXPECT_TRUE(form.SqlText().endsWith(QStringLiteral(" AND Code like '0%' AND Name like '成品%'")));
    form.OkBtnClick();
    EXPECT_EQ(modalResult(&form), 1);
    EXPECT_EQ(form.SelectedStore(), 3);

    form.setProperty("modalResult", QVariant());
    form.SetFilterText(QStringLiteral("zz"));
    EXPECT_TRUE(form.edName->text().isEmpty());
    EXPECT_EQ(form.cdsPick->RecordCount(), 0);
    form.OkBtnClick();
    EXPECT_EQ(errors(), QStringList({"你选择的仓库不存在."}));
    EXPECT_FALSE(form.property("modalResult").isValid()) << "the picker stays open";
    EXPECT_EQ(form.SelectedStore(), 0);
}

// ---- through note_Call and the commodity line, from the keyboard ----

class PickThroughTheCallersTest : public OtherPickersTest {
protected:
    void SetUp() override
    {
        OtherPickersTest::SetUp();
        m_field.AddFieldDefs({{QStringLiteral("ID"), data::FieldType::Integer}});
        m_field.CreateDataSet();
        m_field.Append();
        m_field.FieldByName(QStringLiteral("ID"))->SetAsInteger(3);
        m_field.Post();
    }
    long pick(const char *argument, int noteType = 0)
    {
        QnParams p;
        p.AddValue(QStringLiteral("Field"), QnVariant::fromPointer(m_field.FieldByName(QStringLiteral("ID"))));
        p.AddValue(QStringLiteral("noteType"), noteType);
        return note_Call(QStringLiteral("PICK"), QString::fromLatin1(argument), &p);
    }
    qint64 id() const { return m_field.FieldByName(QStringLiteral("ID"))->AsInteger(); }
    // For looking at by eye: shots/<name>.png beside the build's bin folder.
    static void shot(QWidget *w, const QString &name)
    {
        const QString dir = QDir(testsupport::binDir()).absoluteFilePath(QStringLiteral("../shots"));
        QDir().mkpath(dir);
        EXPECT_TRUE(w->grab().save(QDir(dir).filePath(name + QStringLiteral(".png"))));
    }
    data::ClientDataSet m_field;
};

TEST_F(PickThroughTheCallersTest, VendorPickFromTheKeyboard)
{
    // Esc: nothing changes.
    m_modal.setHandler([](QWidget *w) {
        showActive(w);
        key(Qt::Key_Escape);
        EXPECT_FALSE(w->isVisible());
        return modalResult(w);
    });
    EXPECT_EQ(pick("VENDOR"), 0);
    EXPECT_EQ(m_field.State(), data::DataSetState::Browse);
    EXPECT_EQ(id(), 3);

    // Opened on the field's supplier; a code typed, Enter to the list, Enter chooses.
    m_modal.setHandler([](QWidget *w) {
        auto *f = dynamic_cast<TPickpartnerForm *>(w);
        EXPECT_NE(f, nullptr);
        if (!f)
            return 0;
        showActive(f);
        EXPECT_EQ(f->cdsPick->FieldByName(QStringLiteral("CODE"))->AsString(), QStringLiteral("S003"));
        EXPECT_EQ(QApplication::focusWidget(), f->edCode);
        shot(f, QStringLiteral("pick_partner"));
        f->edCode->setFocus();
        type(QStringLiteral("002"));
        key(Qt::Key_Return);
        EXPECT_EQ(QApplication::focusWidget(), f->PickGrid);
        key(Qt::Key_Return);
        return modalResult(f);
    });
    EXPECT_EQ(pick("VENDOR"), 0);
    EXPECT_EQ(m_field.State(), data::DataSetState::Edit);
    EXPECT_EQ(id(), 2) << "华强电子";
    EXPECT_EQ(m_modal.records().last().className, QStringLiteral("TPickpartnerForm"));
    EXPECT_TRUE(errors().isEmpty()) << errorText();
}

TEST_F(PickThroughTheCallersTest, EmployeePickByDepartmentAndDoubleClick)
{
    m_modal.setHandler([](QWidget *w) {
        auto *f = dynamic_cast<TPickEmpForm *>(w);
        EXPECT_NE(f, nullptr);
        if (!f)
            return 0;
        showActive(f);
        EXPECT_EQ(f->windowTitle(), QStringLiteral("选择领料人"));
        f->cmbDepartment->setCurrentText(QStringLiteral("生产部"));
        EXPECT_EQ(listed(*f), QStringList({"007", "008"}));
        f->cmbEmpType->setCurrentText(QStringLiteral("业务员"));
        EXPECT_EQ(listed(*f), QStringList());
        f->cmbEmpType->setCurrentIndex(0);
        f->cdsPick->Locate(QStringLiteral("CODE"), QStringLiteral("008"));
        const QModelIndex cell = f->PickGrid->model()->index(f->cdsPick->RecNo() - 1, 1);
        f->cdsPick->Locate(QStringLiteral("CODE"), QStringLiteral("007"));
        // A real double click: press and release, then the double click.
        const QPoint at = f->PickGrid->visualRect(cell).center();
        QTest::mouseClick(f->PickGrid->viewport(), Qt::LeftButton, {}, at);
        EXPECT_TRUE(f->isVisible()) << "one click only moves";
        QTest::mouseDClick(f->PickGrid->viewport(), Qt::LeftButton, {}, at);
        return modalResult(f);
    });
    EXPECT_EQ(pick("EMP", 29), 0);
    EXPECT_EQ(id(), 8) << "周晓东";
    EXPECT_TRUE(errors().isEmpty()) << errorText();
}

TEST_F(PickThroughTheCallersTest, AnUnknownStoreCodeOnALineOpensTheStorePicker)
{
    goodskind::CreateTables(*m_db);
    RegisterPrivilegedForm(NoteTypeFormName(goodskind::kType), nullptr, 2000 + goodskind::kType);
    setParam(QStringLiteral("UseMsg"), QStringLiteral("0"));
    std::unique_ptr<goodskind::TTestGoodsForm> note(CreateNoteForm<goodskind::TTestGoodsForm>());
    ASSERT_EQ(pk_note::SendNoteMessage(note.get(), pk_note::NM_NOTEOPEN, 0, 0), pk_note::S_OK);
    note->show();
    note->muAppendDetailClick();
    data::ClientDataSet *lines = note->DetailDataSet();
    note->DetailDataSource()->SetFieldValue(lines->FieldByName(QStringLiteral("COMMODITYCODE")), QStringLiteral("BG0001"));

    m_modal.setHandler([](QWidget *w) {
        auto *f = dynamic_cast<TPickBuildingForm *>(w);
        EXPECT_NE(f, nullptr);
        if (!f)
            return 0;
        showActive(f);
        EXPECT_EQ(f->edCode->text(), QStringLiteral("0原"));
        EXPECT_EQ(f->cdsPick->RecordCount(), 0);
        f->edCode->setFocus();
        key(Qt::Key_Backspace);
        EXPECT_EQ(listed(*f), QStringList({"01", "02", "03", "04"}));
        type(QStringLiteral("2"));
        key(Qt::Key_Return);
        key(Qt::Key_Return);
        return modalResult(f);
    });
    note->DetailDataSource()->SetFieldValue(lines->FieldByName(QStringLiteral("STORECODE")), QStringLiteral("0原"));
    ASSERT_EQ(m_modal.records().size(), 1);
    EXPECT_EQ(m_modal.records()[0].title, QStringLiteral("选择仓库"));
    EXPECT_EQ(note->DetailValue(QStringLiteral("BUILDINGID")).toInt(), 2);
    EXPECT_EQ(note->DetailValue(QStringLiteral("STORECODE")).toString(), QStringLiteral("02"));
    EXPECT_EQ(note->DetailValue(QStringLiteral("BUILDINGNAME")).toString(), QStringLiteral("原料仓库"));
    EXPECT_TRUE(errors().isEmpty()) << errorText();
}

} // namespace
