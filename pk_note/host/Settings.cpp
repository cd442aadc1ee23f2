#include "Settings.h"

#include "Globals.h"
#include "PubError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

// The lines of one file, parsed just enough to find sections and keys.
struct IniText {
    QStringList lines;

    static IniText load(const QString &path)
    {
        IniText t;
        QFile f(path);
        if (f.open(QIODevice::ReadOnly)) {
            QString all = QString::fromUtf8(f.readAll());
            if (all.startsWith(QChar(0xFEFF)))
                all.remove(0, 1);
            all.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
            t.lines = all.split(u'\n');
            if (!t.lines.isEmpty() && t.lines.last().isEmpty())
                t.lines.removeLast();
        }
        return t;
    }

    void save(const QString &path) const
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QSaveFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            throw PubError(QStringLiteral("无法写入设置文件 %1: %2").arg(path, f.errorString()));
        QString all = lines.join(u'\n');
        if (!lines.isEmpty())
            all += u'\n';
        f.write(all.toUtf8());
        if (!f.commit())
            throw PubError(QStringLiteral("无法写入设置文件 %1: %2").arg(path, f.errorString()));
    }

    static bool isSection(const QString &line, QString *name = nullptr)
    {
        const QString t = line.trimmed();
        if (t.size() < 2 || !t.startsWith(u'[') || !t.endsWith(u']'))
            return false;
        if (name)
            *name = t.mid(1, t.size() - 2).trimmed();
        return true;
    }

    static bool isKey(const QString &line, QString *key, QString *value)
    {
        const QString t = line.trimmed();
        if (t.isEmpty() || t.startsWith(u';') || t.startsWith(u'#'))
            return false;
        const int eq = t.indexOf(u'=');
        if (eq <= 0)
            return false;
        *key = t.left(eq).trimmed();
        *value = t.mid(eq + 1).trimmed();
        return true;
    }

    // [first line after the header, end) of a section; begin -1 when absent.
    std::pair<int, int> range(const QString &section) const
    {
        int begin = -1;
        for (int i = 0; i < lines.size(); ++i) {
            QString name;
            if (!isSection(lines[i], &name))
                continue;
            if (begin >= 0)
                return {begin, i};
            if (name.compare(section, Qt::CaseInsensitive) == 0)
                begin = i + 1;
        }
        return {begin, begin >= 0 ? int(lines.size()) : -1};
    }
};

} // namespace

QString IniPath(const QString &file)
{
    const QString path = QFileInfo(file).isAbsolute() ? file : QDir(ProgramFolder()).filePath(file);
    if (QFileInfo::exists(path))
        return path;
    // File names were written without regard to case on the original platform.
    const QFileInfo info(path);
    const QStringList present = info.dir().entryList(QDir::Files);
    for (const QString &name : present)
        if (name.compare(info.fileName(), Qt::CaseInsensitive) == 0)
            return info.dir().filePath(name);
    return path;
}

QString ReadIni(const QString &file, const QString &section, const QString &key, const QString &defaultValue)
{
    const IniText t = IniText::load(IniPath(file));
    const auto [begin, end] = t.range(section);
    for (int i = begin; begin >= 0 && i < end; ++i) {
        QString k, v;
        if (IniText::isKey(t.lines[i], &k, &v) && k.compare(key, Qt::CaseInsensitive) == 0)
            return v;
    }
    return defaultValue;
}

int ReadIniInt(const QString &file, const QString &section, const QString &key, int defaultValue)
{
    bool ok = false;
    const int v = ReadIni(file, section, key).toInt(&ok);
    return ok ? v : defaultValue;
}

void WriteIni(const QString &file, const QString &section, const QString &key, const QString &value)
{
    const QString path = IniPath(file);
    IniText t = IniText::load(path);
    QString clean = value;
    clean.replace(u'\r', u' ').replace(u'\n', u' ');
    const QString line = key + u'=' + clean;
    auto [begin, end] = t.range(section);
    if (begin < 0) {
        if (!t.lines.isEmpty() && !t.lines.last().trimmed().isEmpty())
            t.lines << QString();
        t.lines << u'[' + section + u']' << line;
    } else {
        bool done = false;
        int lastKey = begin - 1;
        for (int i = begin; i < end; ++i) {
            QString k, v;
            if (!IniText::isKey(t.lines[i], &k, &v))
                continue;
            lastKey = i;
            if (k.compare(key, Qt::CaseInsensitive) == 0) {
                t.lines[i] = line;
                done = true;
                break;
            }
        }
        if (!done)
            t.lines.insert(lastKey + 1, line);
    }
    t.save(path);
}

void WriteIniInt(const QString &file, const QString &section, const QString &key, int value)
{
    WriteIni(file, section, key, QString::number(value));
}

bool IniSectionExists(const QString &file, const QString &section)
{
    return IniText::load(IniPath(file)).range(section).first >= 0;
}

QStringList ReadIniSection(const QString &file, const QString &section)
{
    const IniText t = IniText::load(IniPath(file));
    const auto [begin, end] = t.range(section);
    QStringList keys;
    for (int i = begin; begin >= 0 && i < end; ++i) {
        QString k, v;
        if (IniText::isKey(t.lines[i], &k, &v))
            keys << k;
    }
    return keys;
}

void EraseIniSection(const QString &file, const QString &section)
{
    const QString path = IniPath(file);
    IniText t = IniText::load(path);
    const auto [begin, end] = t.range(section);
    if (begin < 0)
        return;
    t.lines.erase(t.lines.begin() + (begin - 1), t.lines.begin() + end);
    t.save(path);
}
