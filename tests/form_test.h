#pragma once

#include "form_fixture.h"

#include <QObject>

#include <optional>

// The base of the test classes that open a window: each test starts in a fresh working
// folder, with the window's messages recorded. A test program lists this header among its
// sources, so that it is run through moc.
class FormTest : public QObject
{
    Q_OBJECT

protected:
    std::optional<WorkingFolder> m_folder;
    MessageLog m_log;

private slots:
    void init()
    {
        m_folder.emplace();
        m_log.messages.clear();
    }
    void cleanup() { m_folder.reset(); }
};
