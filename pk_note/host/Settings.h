#pragma once
// The settings files beside the program ("System.ini", "PrintName.ini"): INI
// text in UTF-8, sections and keys matched without regard to case as on the
// original platform, order and unknown lines kept when a value is written.
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
// Keys of a section in file order.
QStringList ReadIniSection(const QString &file, const QString &section);
void EraseIniSection(const QString &file, const QString &section);

// The full path of a settings file.
QString IniPath(const QString &file);
