#pragma once
// Fixture of the control tests: real demo books on the start-up connection,
// scripted messages and windows, an offscreen application with a CJK font.

#include "Pub.h"
#include "TestSupport.h"
#include "data/ClientDataSet.h"
#include "data/DataSource.h"

#include <gtest/gtest.h>

#include <memory>

class QWidget;

namespace widgettest {

class WidgetTest : public testsupport::SessionTest {
protected:
    void SetUp() override;

    // An open data set over the books.
    std::unique_ptr<data::ClientDataSet> query(const QString &sql);
};

// Types text key by key (QTest only knows ASCII keys).
void typeText(QWidget *w, const QString &text);

} // namespace widgettest
