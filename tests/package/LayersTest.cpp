// The package reaches the database, message boxes and settings only through
// the host API, and its own layers include only downwards: package <
// framework < kinds. A name that crosses a layer fails here, in the file and
// line it stands on, before it is copied into forty kinds.

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>

namespace {

const QString kRoot = QStringLiteral(PK_NOTE_SOURCE_DIR "/pk_note");
// Every folder of package code; kinds land in the later ones.
const QStringList kPackageFolders = {QStringLiteral("package"),    QStringLiteral("framework"),
                                     QStringLiteral("commodity"),
                                     QStringLiteral("pickers"),    QStringLiteral("purchase"),
                                     QStringLiteral("sales"),      QStringLiteral("money"),
                                     QStringLiteral("inventory"),  QStringLiteral("pos"),
                                     QStringLiteral("manufacturing")};

struct Source {
    QString path;
    QStringList lines;
};

QVector<Source> sourcesOf(const QString &folder)
{
    QVector<Source> out;
    QDirIterator it(kRoot + u'/' + folder, {QStringLiteral("*.h"), QStringLiteral("*.cpp")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        if (!f.open(QIODevice::ReadOnly))
            continue;
        out.append({QDir(kRoot).relativeFilePath(f.fileName()), QString::fromUtf8(f.readAll()).split(u'\n')});
    }
    return out;
}

// Lines of `folder` that match `pattern`, as "file:line: text".
QStringList offences(const QString &folder, const QRegularExpression &pattern)
{
    QStringList found;
    for (const Source &s : sourcesOf(folder))
        for (int i = 0; i < s.lines.size(); ++i)
            if (pattern.match(s.lines[i]).hasMatch())
                found << QStringLiteral("%1:%2: %3").arg(s.path).arg(i + 1).arg(s.lines[i].trimmed());
    return found;
}

} // namespace

TEST(LayersTest, PackageCodeUsesOnlyTheHostApi)
{
    // The connection, dialogs and settings files belong to the host; the
    // scripted tests and a second backend depend on it.
    const QRegularExpression platform(
        QStringLiteral(R"(\b(QSqlDatabase|QSqlQuery|QSqlError|QSqlRecord|QMessageBox|QSettings|RequireDB)\b|#include\s+"db/)"));
    ASSERT_FALSE(sourcesOf(QStringLiteral("framework")).isEmpty()) << "sources not found under " << kRoot.toStdString();
    for (const QString &folder : kPackageFolders)
        EXPECT_EQ(offences(folder, platform), QStringList()) << folder.toStdString();
}

TEST(LayersTest, LayersIncludeOnlyDownwards)
{
    // The package's entry points know the framework only through registered
    // factories; the framework knows no kind.
    const QRegularExpression framework(
        QStringLiteral(R"(#include\s+"(Noteboot|Basenote\w*|MDnote\w*|Commoditynote\w*|Moneynote\w*|Notepublic|FieldRules|InforBox)\.h")"));
    EXPECT_EQ(offences(QStringLiteral("package"), framework), QStringList());
    const QRegularExpression kinds(QStringLiteral(R"(#include\s+"\w+Form\.h")"));
    EXPECT_EQ(offences(QStringLiteral("framework"), kinds), QStringList());
    // The commodity-line base and its dialogs serve every commodity kind.
    const QRegularExpression commodityKinds(QStringLiteral(R"(#include\s+"(?!Pick|SetPrice|qryDetail)\w+Form\.h")"));
    EXPECT_EQ(offences(QStringLiteral("commodity"), commodityKinds), QStringList());
}
