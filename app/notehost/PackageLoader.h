#pragma once
// Loads the business package (libpk_note.so) with QLibrary and resolves its
// three entry points.

#include "QnParams.h"

#include <QLibrary>
#include <QString>

namespace notehost {

class PackageLoader {
public:
    using LoadFn = void (*)();
    using CallFn = long (*)(const QString &function, const QString &argument, QnParams *params);
    using HasClassFn = bool (*)(const QString &className);

    // The package's file in `folder` (the program's folder by default).
    static QString defaultPath(const QString &folder);

    // Loads the library and resolves noteLoad, noteUnload and note_Call. On failure
    // returns false and `error` names the file and what is wrong.
    bool load(const QString &path, QString *error);
    // noteLoad(); the package registers its forms and functions.
    void callLoad();
    // noteUnload() when loaded. The library itself stays mapped: windows and
    // registrations made by it may still be referenced while the process ends.
    void callUnload();

    bool isLoaded() const { return m_load != nullptr; }
    QString path() const { return m_path; }
    CallFn call() const { return m_call; }
    // Whether the package builds the window class; true when the package
    // cannot say (it need not export the question).
    bool hasWindowClass(const QString &className) const { return !m_hasClass || m_hasClass(className); }

private:
    QLibrary m_library;
    QString m_path;
    LoadFn m_load = nullptr;
    LoadFn m_unload = nullptr;
    CallFn m_call = nullptr;
    HasClassFn m_hasClass = nullptr;
    bool m_unloaded = false;
};

} // namespace notehost
