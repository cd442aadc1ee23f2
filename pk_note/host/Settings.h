#pragma once
// The settings files beside the program ("System.ini", "PrintName.ini"):
// QSettings INI files in UTF-8, sections and keys matched without regard to
// case as on the original platform. Writing rewrites the file as QSettings
// does: keys sorted, comments dropped, special characters of keys escaped
// ("A::B" is stored as "A%3A%3AB"; hand-written "A::B" still reads).
// `file` is a name inside ProgramFolder() or an absolute path.

#include <QString>
#include <QStringList>

QString ReadIni(const QString &file, const QString &section, const QString &key,
                const QString &defaultValue = {});
int ReadIniInt(const QString &file, const QString &section, const QString &key, int defaultValue);
// Writes one value (line breaks become blanks: a value is one line).
// Throws PubError when the file cannot be written.
void WriteIni(const QString &file, const QString &section, const QString &key, const QString &value);
void WriteIniInt(const QString &file, const QString &section, const QString &key, int value);

bool IniSectionExists(const QString &file, const QString &section);
// Keys of a section, sorted.
QStringList ReadIniSection(const QString &file, const QString &section);
void EraseIniSection(const QString &file, const QString &section);

// The full path of a settings file.
QString IniPath(const QString &file);
