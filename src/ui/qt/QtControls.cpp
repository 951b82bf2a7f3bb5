// The widgets of a dialog, one per row of its layout table.
#include "ui/qt/QtDialog.h"
#include "ui/qt/QtPlot.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

#include <algorithm>
#include <functional>
#include <memory>
#include <utility>

namespace kv7 {

namespace {

// Children are owned by their parent widget and go with the dialog.
template <class Widget, class... Args>
Widget* makeChild(QWidget* parent, Args&&... args)
{
    auto widget = std::make_unique<Widget>(std::forward<Args>(args)...);
    widget->setParent(parent);
    return widget.release();
}

// Check boxes the handler checks itself: a click must not toggle them, or
// "Flip East" would stay pressed although nothing records it.
class ManualCheckBox final : public QCheckBox {
public:
    using QCheckBox::QCheckBox;

protected:
    void nextCheckState() override {}
};

class ManualPushButton final : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    void nextCheckState() override {}
};

// A drop-down list that tells its dialog it is about to open, so the handler
// can fill it anew (ports come and go while the window is open).
class OpeningComboBox final : public QComboBox {
public:
    explicit OpeningComboBox(std::function<void()> opening) : opening(std::move(opening)) {}

    void showPopup() override
    {
        opening();
        QComboBox::showPopup();
    }

private:
    std::function<void()> opening;
};

// A font of the given line height in pixels, scaled from the dialog font so
// the family stays the desktop's own.
QFont fontWithLineHeight(const QFont& base, int pixels)
{
    QFont font(base);
    const int basePixels = QFontInfo(base).pixelSize();
    const int baseHeight = QFontMetrics(base).height();
    font.setPixelSize(std::max(1, baseHeight > 0 ? pixels * basePixels / baseHeight : pixels));
    font.setBold(true);
    return font;
}

// A toggle that is down says so in the desktop's selection colours (light
// or dark theme alike) and in bold, not only in a shade of grey.
void showToggleState(QPushButton* button, bool checked)
{
    QPalette palette = QApplication::palette(button);
    if (checked) {
        palette.setColor(QPalette::Button, palette.color(QPalette::Highlight));
        palette.setColor(QPalette::ButtonText, palette.color(QPalette::HighlightedText));
    }
    button->setPalette(palette);
    QFont font = button->font();
    font.setBold(checked);
    button->setFont(font);
}

Qt::Alignment labelAlignment(std::uint32_t flags)
{
    // Static text on Windows sits at the top of its rectangle.
    if (flags & ControlFlag::AlignRight)
        return Qt::AlignRight | Qt::AlignTop;
    if (flags & ControlFlag::AlignCenter)
        return Qt::AlignHCenter | Qt::AlignTop;
    return Qt::AlignLeft | Qt::AlignTop;
}

}  // namespace

QWidget* QtDialog::createControl(const ControlEntry& entry, const DialogUnits& units)
{
    const QString caption = QString::fromUtf8(entry.caption);
    QRect rect = units.rect(entry.rect);
    QWidget* widget = nullptr;
    switch (entry.kind) {
    case ControlKind::Label: widget = makeLabel(entry, caption); break;
    case ControlKind::GroupBox: widget = makeChild<QGroupBox>(this, caption); break;
    case ControlKind::EtchedLine: {
        auto* line = makeChild<QFrame>(this);
        line->setFrameShape(QFrame::HLine);
        line->setFrameShadow(QFrame::Sunken);
        rect.setHeight(std::max(rect.height(), 2));
        widget = line;
        break;
    }
    case ControlKind::PushButton:
    case ControlKind::ArrowButton:
    case ControlKind::CheckBox:
    case ControlKind::PushLikeCheckBox: widget = makeButton(entry, caption); break;
    case ControlKind::Edit: widget = makeEdit(entry); break;
    case ControlKind::DropDownList: {
        const int id = entry.id;
        auto* list = makeChild<OpeningComboBox>(this, [this, id] { dialogHandler.onListOpening(*this, id); });
        list->setMaxVisibleItems(std::max(1, rect.height() / std::max(1, list->fontMetrics().height())));
        // The table's height includes the opened list; closed, it is one line.
        rect.setHeight(std::min(rect.height(), list->sizeHint().height()));
        widget = list;
        break;
    }
    case ControlKind::Plot: widget = makeChild<QtPlot>(this); break;
    case ControlKind::Slider: {
        widget = makeSlider(entry);
        // Only as tall as the groove and its ticks, centred in its place:
        // stretched, the ticks would sit apart at the bottom.
        const int height = std::min(rect.height(), widget->sizeHint().height());
        rect = QRect(rect.x(), rect.y() + (rect.height() - height) / 2, rect.width(), height);
        break;
    }
    }
    widget->setGeometry(rect);
    if (entry.kind == ControlKind::GroupBox)
        widget->lower();
    return widget;
}

QWidget* QtDialog::makeLabel(const ControlEntry& entry, const QString& caption)
{
    auto* label = makeChild<QLabel>(this, caption);
    label->setAlignment(labelAlignment(entry.flags));
    // Windows wraps static text; only labels with room for a second line do here.
    label->setWordWrap(entry.rect.cy >= 16);
    if (entry.flags & ControlFlag::TitleFont)
        label->setFont(fontWithLineHeight(font(), 16));
    if (entry.flags & ControlFlag::HeadingFont)
        label->setFont(fontWithLineHeight(font(), 24));
    if (entry.flags & ControlFlag::Link) {
        QFont underlined = label->font();
        underlined.setUnderline(true);
        label->setFont(underlined);
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, palette.color(QPalette::Link));
        label->setPalette(palette);
        label->setCursor(Qt::PointingHandCursor);
        label->installEventFilter(this);
        linkIds.insert(label, entry.id);
    }
    return label;
}

QWidget* QtDialog::makeButton(const ControlEntry& entry, const QString& caption)
{
    const bool manual = entry.flags & ControlFlag::ManualCheck;
    QAbstractButton* button = nullptr;
    if (entry.kind == ControlKind::CheckBox) {
        button = manual ? makeChild<ManualCheckBox>(this, caption) : makeChild<QCheckBox>(this, caption);
    } else {
        const bool checkable = entry.kind == ControlKind::PushLikeCheckBox;
        auto* push = checkable && manual ? makeChild<ManualPushButton>(this, caption)
                                         : makeChild<QPushButton>(this, caption);
        push->setCheckable(checkable);
        if (checkable)
            connect(push, &QAbstractButton::toggled, push, [push](bool on) { showToggleState(push, on); });
        // Enter is the handler's business, not Qt's default-button logic;
        // the default button is only drawn as one, so it looks like Enter's.
        push->setAutoDefault(false);
        push->setDefault(entry.flags & ControlFlag::DefaultButton);
        if (entry.kind == ControlKind::ArrowButton)
            push->setIconSize(QSize(16, 16));
        button = push;
    }
    const int id = entry.id;
    connect(button, &QAbstractButton::clicked, this, [this, id] { command(id); });
    if (entry.flags & ControlFlag::ReportsPress) {
        // Qt raises released for the mouse let go and for the focus lost alike.
        connect(button, &QAbstractButton::pressed, this, [this, id] { dialogHandler.onPress(*this, id); });
        connect(button, &QAbstractButton::released, this, [this, id] { dialogHandler.onRelease(*this, id); });
    }
    return button;
}

QWidget* QtDialog::makeEdit(const ControlEntry& entry)
{
    auto* edit = makeChild<QLineEdit>(this);
    if (entry.flags & ControlFlag::ReadOnly) {
        // Read-only fields look like Windows' grey ones, so nobody types
        // into a field that is only shown.
        edit->setReadOnly(true);
        // Neither Tab nor the dialog's first focus lands there, selecting
        // the text as if it were meant to be typed over; a click still can.
        edit->setFocusPolicy(Qt::ClickFocus);
        QPalette palette = edit->palette();
        palette.setColor(QPalette::Base, palette.color(QPalette::Window));
        edit->setPalette(palette);
    }
    return edit;
}

QWidget* QtDialog::makeSlider(const ControlEntry& entry)
{
    auto* slider = makeChild<QSlider>(this, Qt::Horizontal);
    if (entry.flags & ControlFlag::AutoTicks) {
        slider->setTickPosition(QSlider::TicksBelow);
        slider->setTickInterval(1);
    }
    return slider;
}

}  // namespace kv7
