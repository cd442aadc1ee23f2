#pragma once
// Fresh demo books for a window benchmark: a private folder, the start-up
// connection, scripted messages and modal windows, the demo administrator and
// today as the new-note date. `prepare` runs on the new books before the
// session starts (extra tables, parameters, grown data).

#include "Pub.h"
#include "notedb.h"

#include <QDate>
#include <QTemporaryDir>

#include <functional>
#include <memory>

namespace benchbooks {

struct Books {
    QTemporaryDir dir;
    std::unique_ptr<db::Database> db;
    pub::ScriptedMessageService messages;
    pub::ScriptedModalService modal;
    explicit Books(const std::function<void(db::Database &)> &prepare = {})
    {
        notedb::install();
        db = notedb::createBooks(dir.filePath(QStringLiteral("books.db")), true, true);
        db->exec(QStringLiteral("update sysparamamth set DATAVALUE = '0' where PARAMNAME = 'UseMsg'"));
        if (prepare)
            prepare(*db);
        SetStartupDB(db.get());
        SetProgramFolder(dir.path());
        pub::setMessageService(&messages);
        pub::setModalService(&modal);
        SetCurrentUser(1);
        g_NewnoteTime = QDate::currentDate();
    }
    ~Books()
    {
        pub::setMessageService(nullptr);
        pub::setModalService(nullptr);
        SetStartupDB(nullptr);
    }
};

} // namespace benchbooks
