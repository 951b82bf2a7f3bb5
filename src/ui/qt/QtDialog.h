// A dialog built with Qt Widgets from a layout table, driven by its handler.
#pragma once

#include <QDialog>
#include <QHash>
#include <QTimer>

#include "ui/DialogModel.h"

class QKeyEvent;
class QCloseEvent;

namespace kv7 {

// Converts dialog units with the dialog font's metrics, as Windows does:
// the average width of the Latin letters and the line height.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);
    int x(int units) const { return (units * averageWidth + 2) / 4; }
    int y(int units) const { return (units * lineHeight + 4) / 8; }
    QRect rect(const DialogRect& r) const { return QRect(x(r.x), y(r.y), x(r.cx), y(r.cy)); }

private:
    int averageWidth;
    int lineHeight;
};

class QtDialog final : public QDialog, public iControlSurface {
public:
    QtDialog(iDialogHandler& handler, QWidget* owner);
    ~QtDialog() override;

    QtDialog(const QtDialog&) = delete;
    QtDialog& operator=(const QtDialog&) = delete;

    // Hands the controls to the handler; once, before the dialog shows.
    void initialise();

    // The widget of a control, or null (tests and screenshots look here).
    QWidget* control(int id) const { return controls.value(id, nullptr); }
    iDialogHandler& handler() const { return dialogHandler; }
    // The value endDialog ended it with, or -1 while it has not ended.
    int endResult() const { return ended ? result() : -1; }

    // iControlSurface.
    void setText(int id, std::string_view text) override;
    std::size_t getText(int id, char* buffer, std::size_t capacity) const override;
    void setCheck(int id, bool checked) override;
    bool isChecked(int id) const override;
    void enable(int id, bool enabled) override;
    void setSliderRange(int id, int minimum, int maximum) override;
    void setSliderPosition(int id, int position) override;
    int sliderPosition(int id) const override;
    void addListEntry(int id, std::string_view text) override;
    void selectListEntry(int id, int index) override;
    int selectedListEntry(int id) const override;
    void setImage(int id, ArrowImage image) override;
    void endDialog(int result) override;
    void postUserMessage(std::uint32_t code, std::uint32_t value) override;
    void setTimer(int periodMs) override;
    void clearList(int id) override;
    void setPlot(int id, std::span<const PlotSeries> series, std::string_view unit) override;

    // However the dialog ends, its timer stops with it.
    void done(int result) override;

    // Enter and Esc become the handler's Ok and Cancel commands and the close
    // box its close event; Qt's own accept and reject behaviour never runs.
    void accept() override;
    void reject() override;

protected:
    bool event(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void build();
    QWidget* createControl(const ControlEntry& entry, const DialogUnits& units);
    QWidget* makeLabel(const ControlEntry& entry, const QString& caption);
    QWidget* makeButton(const ControlEntry& entry, const QString& caption);
    QWidget* makeEdit(const ControlEntry& entry);
    QWidget* makeSlider(const ControlEntry& entry);
    void command(int id);

    iDialogHandler& dialogHandler;
    QHash<int, QWidget*> controls;   // children, owned by the dialog
    QHash<QObject*, int> linkIds;    // link labels and the command they raise
    QTimer timer;                    // the handler's one timer (setTimer)
    bool ended = false;
};

// A 16 x 16 solid triangle pointing the given way.
QPixmap arrowPixmap(ArrowImage image);

}  // namespace kv7
