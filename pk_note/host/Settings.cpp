#include "Settings.h"

#include "Globals.h"
#include "PubError.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace {

// Sections and keys were matched without regard to case on the original
// platform, and files written there still are; QSettings matches exactly on
// Unix, so a name is looked up among the names the file holds. Empty when
// absent.
QString storedName(const QStringList &names, const QString &wanted)
{
    for (const QString &name : names)
        if (name.compare(wanted, Qt::CaseInsensitive) == 0)
            return name;
    return {};
}

QString storedGroup(QSettings &s, const QString &section) { return storedName(s.childGroups(), section); }

// The "section/key" path of an existing key, else empty.
QString storedKey(QSettings &s, const QString &section, const QString &key)
{
    const QString group = storedGroup(s, section);
    if (group.isEmpty())
        return {};
    s.beginGroup(group);
    const QString name = storedName(s.childKeys(), key);
    s.endGroup();
    return name.isEmpty() ? QString() : group + u'/' + name;
}

void commit(QSettings &s)
{
    s.sync();
    if (s.status() == QSettings::AccessError)
        throw PubError(QStringLiteral("无法写入设置文件 %1").arg(s.fileName()));
}

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
    QSettings s(IniPath(file), QSettings::IniFormat);
    const QString path = storedKey(s, section, key);
    if (path.isEmpty())
        return defaultValue;
    const QVariant v = s.value(path);
    // An unquoted hand-written value with commas comes back as a list.
    if (v.typeId() == QMetaType::QStringList)
        return v.toStringList().join(u',');
    return v.toString();
}

int ReadIniInt(const QString &file, const QString &section, const QString &key, int defaultValue)
{
    bool ok = false;
    const int v = ReadIni(file, section, key).toInt(&ok);
    return ok ? v : defaultValue;
}

void WriteIni(const QString &file, const QString &section, const QString &key, const QString &value)
{
    const QString iniPath = IniPath(file);
    QDir().mkpath(QFileInfo(iniPath).absolutePath());
    QSettings s(iniPath, QSettings::IniFormat);
    QString path = storedKey(s, section, key);
    if (path.isEmpty()) {
        const QString group = storedGroup(s, section);
        path = (group.isEmpty() ? section : group) + u'/' + key;
    }
    QString clean = value;
    clean.replace(u'\r', u' ').replace(u'\n', u' ');
    s.setValue(path, clean);
    commit(s);
}

void WriteIniInt(const QString &file, const QString &section, const QString &key, int value)
{
    WriteIni(file, section, key, QString::number(value));
}

bool IniSectionExists(const QString &file, const QString &section)
{
    QSettings s(IniPath(file), QSettings::IniFormat);
    return !storedGroup(s, section).isEmpty();
}

QStringList ReadIniSection(const QString &file, const QString &section)
{
    QSettings s(IniPath(file), QSettings::IniFormat);
    const QString group = storedGroup(s, section);
    if (group.isEmpty())
        return {};
    s.beginGroup(group);
    return s.childKeys();
}

void EraseIniSection(const QString &file, const QString &section)
{
    QSettings s(IniPath(file), QSettings::IniFormat);
    const QString group = storedGroup(s, section);
    if (group.isEmpty())
        return;
    s.remove(group);
    commit(s);
}
