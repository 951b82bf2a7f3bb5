// Helpers for driving the Qt dialogs from a test.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QPointer>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>

#include "ui/qt/QtDialog.h"
#include "ui/qt/QtDialogHost.h"

namespace kv7::test {

// Keeps the event loop running until done() holds or the limit passes; the
// link and the simulator answer on their own threads.
inline bool waitUntil(const std::function<bool()>& done, int limitMs = 5000)
{
    QDeadlineTimer deadline(limitMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Runs f on the next modal dialog once it shows (a modal dialog blocks the
// test's own call until it ends). f must end it; one left open fails the
// test and is closed so the suite cannot hang.
inline void onNextModal(std::function<void(QtDialog&)> f)
{
    // Owned by the application object until it deletes itself below.
    auto owned = std::make_unique<QTimer>();
    owned->setParent(QCoreApplication::instance());
    QTimer* poll = owned.release();
    QObject::connect(poll, &QTimer::timeout, poll, [poll, f] {
        auto* dialog = dynamic_cast<QtDialog*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        QPointer<QtDialog> guard(dialog);
        f(*dialog);
        if (guard && guard->isVisible()) {
            ADD_FAILURE() << "dialog \"" << guard->windowTitle().toStdString() << "\" was left open";
            guard->done(-1);
        }
    });
    poll->start(5);
}

inline QAbstractButton* button(const QtDialog& dialog, int id)
{
    auto* b = qobject_cast<QAbstractButton*>(dialog.control(id));
    EXPECT_NE(b, nullptr) << "no button " << id;
    return b;
}

inline void click(const QtDialog& dialog, int id)
{
    if (QAbstractButton* b = button(dialog, id))
        QTest::mouseClick(b, Qt::LeftButton);
}

inline std::string text(const QtDialog& dialog, int id)
{
    auto* edit = qobject_cast<QLineEdit*>(dialog.control(id));
    EXPECT_NE(edit, nullptr) << "no edit " << id;
    return edit ? edit->text().toStdString() : std::string();
}

// Replaces a field's text as the operator would, through the keyboard.
inline void type(const QtDialog& dialog, int id, const QString& value)
{
    auto* edit = qobject_cast<QLineEdit*>(dialog.control(id));
    ASSERT_NE(edit, nullptr) << "no edit " << id;
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    QTest::keyClicks(edit, value);
}

// Keeps browsers shut and remembers what would have opened.
class RecordingQtHost final : public QtDialogHost {
public:
    void openWebAddress(const char* address) override { opened.emplace_back(address); }
    // The operator picks file; empty: Cancel (the desktop's file dialog
    // cannot be driven offscreen).
    bool chooseFile(bool, const char*, std::string& path) override
    {
        if (file.empty())
            return false;
        path = file;
        return true;
    }
    std::vector<std::string> opened;
    std::string file;
};

}  // namespace kv7::test
