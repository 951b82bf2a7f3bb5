#include "ui/qt/QtDialog.h"

#include "app/Records.h"
#include "ui/qt/QtPlot.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QSlider>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <memory>
#include <utility>

namespace kv7 {

namespace {

class UserMessageEvent final : public QEvent {
public:
    UserMessageEvent(std::uint32_t code, std::uint32_t value) : QEvent(type()), code(code), value(value) {}

    static QEvent::Type type()
    {
        static const auto registered = static_cast<QEvent::Type>(QEvent::registerEventType());
        return registered;
    }

    // The model posts a reading only once the window has taken the last one,
    // so a fast stream of readings needs one event's memory at a time: the
    // slot below. Qt deletes the events it has delivered; deleting the slot's
    // event frees the slot. Any other event (statuses, or a reading posted
    // in the moment before the slot is freed) lives on the heap.
    static UserMessageEvent* make(std::uint32_t code, std::uint32_t value)
    {
        static_assert(sizeof(UserMessageEvent) <= sizeof(Slot::storage));
        if (code == NotifyMountState && !slot.busy.exchange(true, std::memory_order_acquire))
            return new (slot.storage) UserMessageEvent(code, value);
        return new UserMessageEvent(code, value);
    }
    static void operator delete(void* p) noexcept
    {
        if (p == slot.storage)
            slot.busy.store(false, std::memory_order_release);
        else
            ::operator delete(p);
    }
    static void* operator new(std::size_t size) { return ::operator new(size); }
    static void* operator new(std::size_t, void* place) noexcept { return place; }

    const std::uint32_t code;
    const std::uint32_t value;

private:
    struct Slot {
        alignas(std::max_align_t) unsigned char storage[64];
        std::atomic<bool> busy{false};
    };
    static Slot slot;
};

UserMessageEvent::Slot UserMessageEvent::slot;

QString fromText(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

}  // namespace

DialogUnits::DialogUnits(const QFont& font)
{
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    averageWidth = (letters / 26 + 1) / 2;
    lineHeight = metrics.height();
}

QPixmap arrowPixmap(ArrowImage image)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    QPolygonF triangle;
    switch (image) {
    case ArrowImage::Left:
        triangle << QPointF(3, 8) << QPointF(12, 2) << QPointF(12, 14);
        break;
    case ArrowImage::Right:
        triangle << QPointF(13, 8) << QPointF(4, 2) << QPointF(4, 14);
        break;
    case ArrowImage::Up:
        triangle << QPointF(8, 3) << QPointF(2, 12) << QPointF(14, 12);
        break;
    case ArrowImage::Down:
        triangle << QPointF(8, 13) << QPointF(2, 4) << QPointF(14, 4);
        break;
    }
    painter.drawPolygon(triangle);
    return pixmap;
}

QtDialog::QtDialog(iDialogHandler& handler, QWidget* owner) : QDialog(owner), dialogHandler(handler)
{
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    build();
    connect(&timer, &QTimer::timeout, this, [this] { dialogHandler.onTimer(*this); });
}

QtDialog::~QtDialog() = default;

void QtDialog::build()
{
    const DialogLayout& layout = dialogHandler.layout();
    const DialogUnits units(font());
    setWindowTitle(QString::fromUtf8(layout.caption));
    setFixedSize(units.x(layout.rect.cx), units.y(layout.rect.cy));
    for (const ControlEntry& entry : layout.controls) {
        QWidget* widget = createControl(entry, units);
        if (entry.id != -1 && !controls.contains(entry.id))
            controls.insert(entry.id, widget);
    }
}

void QtDialog::initialise()
{
    // A handler that declines the initial focus leaves it on the dialog
    // itself rather than on its first field.
    if (!dialogHandler.onInit(*this)) {
        setFocusPolicy(Qt::StrongFocus);
        setFocus();
    }
}

void QtDialog::command(int id) { dialogHandler.onCommand(*this, id); }

void QtDialog::setText(int id, std::string_view text)
{
    QWidget* widget = control(id);
    const QString value = fromText(text);
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        // The live view sets the same readings again and again: an
        // unchanged field is left alone rather than drawn anew.
        if (edit->text() == value)
            return;
        edit->setText(value);
        // Show the start of a long text, as a Windows edit does.
        edit->setCursorPosition(0);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(value);
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(value);
    } else if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        group->setTitle(value);
    }
}

std::size_t QtDialog::getText(int id, char* buffer, std::size_t capacity) const
{
    if (capacity == 0)
        return 0;
    QWidget* widget = control(id);
    QString value;
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        value = edit->text();
    else if (auto* label = qobject_cast<QLabel*>(widget))
        value = label->text();
    else if (auto* button = qobject_cast<QAbstractButton*>(widget))
        value = button->text();
    else if (auto* list = qobject_cast<QComboBox*>(widget))
        value = list->currentText();
    const QByteArray bytes = value.toUtf8();
    const std::size_t n = std::min(static_cast<std::size_t>(bytes.size()), capacity - 1);
    std::memcpy(buffer, bytes.constData(), n);
    buffer[n] = '\0';
    return n;
}

void QtDialog::setCheck(int id, bool checked)
{
    if (auto* button = qobject_cast<QAbstractButton*>(control(id)))
        button->setChecked(checked);
}

bool QtDialog::isChecked(int id) const
{
    auto* button = qobject_cast<QAbstractButton*>(control(id));
    return button && button->isChecked();
}

void QtDialog::enable(int id, bool enabled)
{
    if (QWidget* widget = control(id))
        widget->setEnabled(enabled);
}

void QtDialog::setSliderRange(int id, int minimum, int maximum)
{
    if (auto* slider = qobject_cast<QSlider*>(control(id)))
        slider->setRange(minimum, maximum);
}

void QtDialog::setSliderPosition(int id, int position)
{
    if (auto* slider = qobject_cast<QSlider*>(control(id)))
        slider->setValue(position);
}

int QtDialog::sliderPosition(int id) const
{
    auto* slider = qobject_cast<QSlider*>(control(id));
    return slider ? slider->value() : 0;
}

void QtDialog::addListEntry(int id, std::string_view text)
{
    if (auto* list = qobject_cast<QComboBox*>(control(id)))
        list->addItem(fromText(text));
}

void QtDialog::selectListEntry(int id, int index)
{
    if (auto* list = qobject_cast<QComboBox*>(control(id)))
        list->setCurrentIndex(index);
}

int QtDialog::selectedListEntry(int id) const
{
    auto* list = qobject_cast<QComboBox*>(control(id));
    return list ? list->currentIndex() : -1;
}

void QtDialog::setImage(int id, ArrowImage image)
{
    if (auto* button = qobject_cast<QAbstractButton*>(control(id)))
        button->setIcon(QIcon(arrowPixmap(image)));
}

void QtDialog::endDialog(int result)
{
    ended = true;
    done(result);
}

void QtDialog::setTimer(int periodMs)
{
    if (periodMs <= 0)
        timer.stop();
    else
        timer.start(periodMs);
}

void QtDialog::clearList(int id)
{
    if (auto* list = qobject_cast<QComboBox*>(control(id)))
        list->clear();
}

void QtDialog::setPlot(int id, std::span<const PlotSeries> series, std::string_view unit)
{
    if (auto* plot = dynamic_cast<QtPlot*>(control(id)))
        plot->setSeries(series, unit);
}

void QtDialog::done(int result)
{
    // A dialog the host keeps after it has ended must not keep ticking.
    timer.stop();
    QDialog::done(result);
}

void QtDialog::postUserMessage(std::uint32_t code, std::uint32_t value)
{
    // Qt takes ownership of posted events; this is the call that moves work
    // from the link worker onto the user-interface thread.
    QCoreApplication::postEvent(this, UserMessageEvent::make(code, value));
}

void QtDialog::accept() { command(DialogCommand::Ok); }

void QtDialog::reject() { dialogHandler.onClose(*this); }

bool QtDialog::event(QEvent* e)
{
    if (e->type() == UserMessageEvent::type()) {
        const auto* message = static_cast<UserMessageEvent*>(e);
        dialogHandler.onUserMessage(message->code, message->value);
        return true;
    }
    return QDialog::event(e);
}

void QtDialog::keyPressEvent(QKeyEvent* e)
{
    const bool noModifier = e->modifiers() == Qt::NoModifier || e->modifiers() == Qt::KeypadModifier;
    if (noModifier && (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)) {
        // On a focused button Enter presses that button, as on Windows.
        if (auto* button = qobject_cast<QPushButton*>(focusWidget()); button && button->isEnabled())
            button->click();
        else
            command(DialogCommand::Ok);
        return;
    }
    if (noModifier && e->key() == Qt::Key_Escape) {
        command(DialogCommand::Cancel);
        return;
    }
    QDialog::keyPressEvent(e);
}

void QtDialog::closeEvent(QCloseEvent* e)
{
    // The handler decides; if it ends the dialog, done() hides it.
    e->ignore();
    dialogHandler.onClose(*this);
}

bool QtDialog::eventFilter(QObject* watched, QEvent* e)
{
    if (e->type() == QEvent::MouseButtonRelease && linkIds.contains(watched)) {
        const auto* mouse = static_cast<QMouseEvent*>(e);
        const auto* label = static_cast<QWidget*>(watched);
        if (mouse->button() == Qt::LeftButton && label->rect().contains(mouse->position().toPoint())) {
            command(linkIds.value(watched));
            return true;
        }
    }
    return QDialog::eventFilter(watched, e);
}

}  // namespace kv7
