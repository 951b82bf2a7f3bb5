// The portable dialog model: a dialog is a layout table plus a handler that
// talks to its controls only through a small surface. A renderer (Qt, Win32)
// builds real windows from the table, implements the surface, and feeds the
// handler four events: init, command(id), close, and - main window only -
// the posted user message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kv7 {

enum class ControlKind : std::uint8_t {
    Label,
    GroupBox,
    EtchedLine,        // horizontal separator
    PushButton,
    ArrowButton,       // push button showing a 16 x 16 triangle image
    CheckBox,
    PushLikeCheckBox,  // a check box drawn as a toggle button
    Edit,
    DropDownList,      // cy includes the height of the opened list, as Win32 wants it
    Slider,
    Plot,              // a painted graph of one or more series; see setPlot
};

// Style bits that a renderer maps onto its own widgets or window styles.
namespace ControlFlag {
enum : std::uint32_t {
    None = 0,
    AlignRight = 1u << 0,     // labels
    AlignCenter = 1u << 1,    // labels
    ReadOnly = 1u << 2,       // edits
    DefaultButton = 1u << 3,  // push buttons
    ManualCheck = 1u << 4,    // check boxes the handler checks itself; a click does not toggle
    AutoTicks = 1u << 5,      // slider: a tick at every position
    Link = 1u << 6,           // label drawn as an underlined link; a click raises command(id)
    TitleFont = 1u << 7,      // label in bold, 16 pixels high
    HeadingFont = 1u << 8,    // label in bold, 24 pixels high
    ReportsPress = 1u << 9,   // push buttons: pressing and letting go reach the handler too
};
}

// Rectangles are in dialog units: x in quarters and y in eighths of the
// dialog font's average character width and height.
struct DialogRect {
    std::int16_t x = 0;
    std::int16_t y = 0;
    std::int16_t cx = 0;
    std::int16_t cy = 0;
};

struct ControlEntry {
    int id = -1;       // -1: never addressed (several labels share it)
    ControlKind kind = ControlKind::Label;
    const char* caption = "";
    DialogRect rect;
    std::uint32_t flags = ControlFlag::None;
};

struct DialogLayout {
    int templateId = 0;        // the resource number the Win32 build uses
    const char* caption = "";
    DialogRect rect;           // position relative to the owner, and size
    std::span<const ControlEntry> controls;
};

// The first control with this id, or null.
const ControlEntry* findControl(const DialogLayout& layout, int id);

enum class ArrowImage : std::uint8_t { Left, Right, Up, Down };

// One line of a plot: values at equal steps from left to right (the newest
// on the right), drawn in the colour of its index (0 blue, 1 red, 2 green,
// 3 black); the values whose marked entry is non-zero get a cross, and a
// NaN value leaves a gap. The plot scales itself to the values of all its
// series, and names the top and bottom of that range in `unit`.
struct PlotSeries {
    std::span<const double> values;
    std::span<const std::uint8_t> marked;   // empty, or one per value
};

// What a handler may do to its dialog's controls. Every operation addresses
// a control by id; an id the dialog does not have is ignored (reads give
// empty text, unchecked, 0, or -1 for a list selection).
class iControlSurface {
public:
    virtual void setText(int id, std::string_view text) = 0;
    // Copies at most capacity - 1 characters and a terminating zero; returns
    // the number of characters copied.
    virtual std::size_t getText(int id, char* buffer, std::size_t capacity) const = 0;
    virtual void setCheck(int id, bool checked) = 0;
    virtual bool isChecked(int id) const = 0;
    virtual void enable(int id, bool enabled) = 0;
    virtual void setSliderRange(int id, int minimum, int maximum) = 0;
    virtual void setSliderPosition(int id, int position) = 0;
    virtual int sliderPosition(int id) const = 0;
    virtual void addListEntry(int id, std::string_view text) = 0;
    virtual void selectListEntry(int id, int index) = 0;
    virtual int selectedListEntry(int id) const = 0;
    virtual void setImage(int id, ArrowImage image) = 0;
    // Ends the modal run; the host returns result to whoever opened the dialog.
    virtual void endDialog(int result) = 0;
    // The only operation other threads may call: hands (code, value) to the
    // handler's onUserMessage on the user-interface thread, and returns at once.
    virtual void postUserMessage(std::uint32_t code, std::uint32_t value) = 0;
    // The dialog's one timer: onTimer every periodMs on the user-interface
    // thread; 0 stops it. It ends with the dialog.
    virtual void setTimer(int periodMs) { (void)periodMs; }
    // Empties a drop-down list (before it is filled anew).
    virtual void clearList(int id) { (void)id; }
    // Replaces what a plot shows; the spans need only live for the call.
    virtual void setPlot(int id, std::span<const PlotSeries> series, std::string_view unit)
    {
        (void)id;
        (void)series;
        (void)unit;
    }

protected:
    ~iControlSurface() = default;
};

// Ids the renderers produce for the keyboard: Enter and Esc.
namespace DialogCommand {
enum : int { Ok = 1, Cancel = 2 };
}

class iDialogHandler {
public:
    virtual const DialogLayout& layout() const = 0;
    // Controls exist and show their captions. True: the renderer sets the
    // initial focus.
    virtual bool onInit(iControlSurface& dialog) = 0;
    // A click on a button, check box or link, or Enter (Ok) / Esc (Cancel).
    // True when the handler acted on the id.
    virtual bool onCommand(iControlSurface& dialog, int id) = 0;
    // The close box. Dialogs treat it as Cancel unless they say otherwise.
    virtual void onClose(iControlSurface& dialog) { onCommand(dialog, DialogCommand::Cancel); }
    virtual void onUserMessage(std::uint32_t, std::uint32_t) {}
    // The timer set with setTimer has run out once more.
    virtual void onTimer(iControlSurface&) {}
    // A drop-down list is about to open: the moment to fill it anew.
    virtual void onListOpening(iControlSurface&, int id) { (void)id; }
    // A button flagged ReportsPress went down, and came up again: the mouse
    // let go or the focus left it. A release may come without a press
    // before it (the focus leaving a button that was never held); the click
    // still follows a release over the button as usual.
    virtual void onPress(iControlSurface&, int id) { (void)id; }
    virtual void onRelease(iControlSurface&, int id) { (void)id; }

protected:
    ~iDialogHandler() = default;
};

// Runs dialogs and reaches the desktop.
class iDialogHost {
public:
    // Builds the handler's dialog, owned by the dialog running now (if any),
    // runs it modally and returns the result given to endDialog. Posted user
    // messages keep being delivered while it runs. The surface of a dialog
    // without an owner stays valid until the host is destroyed, so a message
    // posted after it has ended is dropped harmlessly.
    virtual int runModal(iDialogHandler& handler) = 0;
    virtual void openWebAddress(const char* address) = 0;
    // The desktop's own file dialog, owned by the dialog running now: a
    // file to write (the desktop asks before replacing one) or an existing
    // file to read, of JSON snapshots. False when the operator cancels or
    // there is no file dialog; path then keeps what it held.
    virtual bool chooseFile(bool forWriting, const char* title, std::string& path)
    {
        (void)forWriting;
        (void)title;
        (void)path;
        return false;
    }

protected:
    ~iDialogHost() = default;
};

}  // namespace kv7
