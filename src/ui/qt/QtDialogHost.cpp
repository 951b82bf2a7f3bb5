#include "ui/qt/QtDialogHost.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QUrl>

namespace kv7 {

QtDialogHost::QtDialogHost() = default;

QtDialogHost::~QtDialogHost()
{
    // Newest first: a later dialog may be owned by an earlier one.
    while (!topLevel.empty())
        topLevel.pop_back();
}

QWidget* QtDialogHost::currentOwner() const
{
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    for (auto it = topLevel.rbegin(); it != topLevel.rend(); ++it)
        if ((*it)->isVisible())
            return it->get();
    return nullptr;
}

int QtDialogHost::runModal(iDialogHandler& handler)
{
    QWidget* owner = currentOwner();
    auto dialog = std::make_unique<QtDialog>(handler, owner);
    QtDialog& running = *dialog;
    if (!owner)
        topLevel.push_back(std::move(dialog));
    running.initialise();
    if (!owner)
        place(running);
    return running.exec();
}

QtDialog* QtDialogHost::open(iDialogHandler& handler)
{
    topLevel.push_back(std::make_unique<QtDialog>(handler, nullptr));
    QtDialog* dialog = topLevel.back().get();
    dialog->initialise();
    place(*dialog);
    return dialog;
}

void QtDialogHost::place(QtDialog& dialog) const
{
    // Shown, a dialog without an owner stands where Qt centres it; the
    // first copy's windows stay there, a later copy's move on from there.
    dialog.show();
    if (copyIndex <= 0)
        return;
    const int step = copyStep * (copyIndex % 8);
    dialog.move(dialog.pos() + QPoint(step, step));
}

void QtDialogHost::openWebAddress(const char* address)
{
    QDesktopServices::openUrl(QUrl(QString::fromUtf8(address)));
}

bool QtDialogHost::chooseFile(bool forWriting, const char* title, std::string& path)
{
    const QString filter = QStringLiteral("Configuration snapshots (*.json);;All files (*)");
    const QString start = QString::fromStdString(path);
    const QString caption = QString::fromUtf8(title);
    const QString chosen = forWriting ? QFileDialog::getSaveFileName(currentOwner(), caption, start, filter)
                                      : QFileDialog::getOpenFileName(currentOwner(), caption, start, filter);
    if (chosen.isEmpty())
        return false;
    path = chosen.toStdString();
    return true;
}

}  // namespace kv7
