#include "PackageLoader.h"

#include <QDir>
#include <QFileInfo>

namespace notehost {

QString PackageLoader::defaultPath(const QString &folder)
{
    return QDir(folder).filePath(QStringLiteral("libpk_note.so"));
}

bool PackageLoader::load(const QString &path, QString *error)
{
    m_path = path;
    if (!QFileInfo::exists(path)) {
        *error = QStringLiteral("找不到业务包 %1").arg(path);
        return false;
    }
    m_library.setFileName(path);
    // Symbols stay local: the package and the host share only libpub.
    if (!m_library.load()) {
        *error = QStringLiteral("无法加载业务包 %1: %2").arg(path, m_library.errorString());
        return false;
    }
    QStringList missing;
    m_load = reinterpret_cast<LoadFn>(m_library.resolve("noteLoad"));
    m_unload = reinterpret_cast<LoadFn>(m_library.resolve("noteUnload"));
    m_call = reinterpret_cast<CallFn>(m_library.resolve("note_Call"));
    m_hasClass = reinterpret_cast<HasClassFn>(m_library.resolve("noteHasWindowClass"));
    if (!m_load)
        missing << QStringLiteral("noteLoad");
    if (!m_unload)
        missing << QStringLiteral("noteUnload");
    if (!m_call)
        missing << QStringLiteral("note_Call");
    if (!missing.isEmpty()) {
        m_load = m_unload = nullptr;
        m_call = nullptr;
        *error = QStringLiteral("业务包 %1 缺少入口: %2").arg(path, missing.join(QStringLiteral(", ")));
        return false;
    }
    return true;
}

void PackageLoader::callLoad()
{
    if (m_load)
        m_load();
}

void PackageLoader::callUnload()
{
    if (m_unload && !m_unloaded) {
        m_unloaded = true;
        m_unload();
    }
}

} // namespace notehost
