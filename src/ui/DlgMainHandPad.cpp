// The main window's hand pad: a click starts a move that runs until Stop,
// or, with "Hold" ticked, the mount moves only while a button is held.
#include <string>

#include "ui/ControlIds.h"
#include "ui/DlgMain.h"

namespace kv7 {

namespace {

// The hand-pad direction of an arrow button, or -1.
int directionOf(int id)
{
    switch (id) {
    case MainId::North: return HandPad::North;
    case MainId::South: return HandPad::South;
    case MainId::West: return HandPad::West;
    case MainId::East: return HandPad::East;
    default: return -1;
    }
}

}  // namespace

void DlgMain::setOptionsStore(iSettingsStore* store)
{
    optionsStore = store;
    std::string text;
    std::string error;
    options = store && store->load(text, error) ? parseWindowOptions(text) : WindowOptions{};
    if (iControlSurface* dialog = window.load(std::memory_order_relaxed))
        dialog->setCheck(MainId::HoldToMove, options.holdToMove);
}

void DlgMain::holdToMove(int)
{
    options.holdToMove = surface().isChecked(MainId::HoldToMove);
    std::string error;
    if (optionsStore && !optionsStore->save(formatWindowOptions(options), error))
        showMessage("Option not kept for the next start");
}

void DlgMain::handPad(int direction)
{
    // Held, the press has already started the move.
    if (!options.holdToMove)
        startManualMove(direction);
}

void DlgMain::startManualMove(int direction)
{
    pauseLiveView();
    // The slider is read only here; moving it sends nothing.
    const int speed = surface().sliderPosition(MainId::Speed);
    control->manualMove(static_cast<HandPad::Direction>(direction), static_cast<std::uint8_t>(speed));
}

void DlgMain::onPress(iControlSurface&, int id)
{
    const int direction = directionOf(id);
    if (!options.holdToMove || direction < 0 || !window.load(std::memory_order_relaxed))
        return;
    heldDirection = direction;
    startManualMove(direction);
}

void DlgMain::onRelease(iControlSurface&, int id)
{
    const int direction = directionOf(id);
    if (direction < 0 || direction != heldDirection)
        return;
    heldDirection = -1;
    // A released button stops its own axis only.
    control->stopMotion(static_cast<std::uint8_t>(direction));
}

}  // namespace kv7
