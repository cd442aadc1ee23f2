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
    // An empty in-memory data set of note lines: CODE, NAME, QUANTITY, PRICE, AMOUNT.
    std::unique_ptr<data::ClientDataSet> lines();
};

// Types text key by key (QTest only knows ASCII keys).
void typeText(QWidget *w, const QString &text);

void addLine(data::ClientDataSet &ds, const QString &code, const QString &name, double qty, double price);

} // namespace widgettest
