// Start-up and shutdown of the long-lived objects, shared by every entry
// (the desktop programs and kv7ctl). The entry supplies its main window (or
// a console stand-in) as the two front-end interfaces.
//
//   Application app(options);                 // timer, model, link, wiring
//   MyFrontEnd ui(app.control(), app.model());
//   app.attachFrontEnd(&ui, &ui);
//   app.start();                              // heartbeat runs
//   ... run the user interface ...
//   app.shutdown();                           // nothing is sent to the controller
#pragma once

#include <functional>
#include <memory>

#include "app/AppModel.h"
#include "app/HeartBeatTimer.h"
#include "app/Interfaces.h"
#include "link/CommControl.h"
#include "protocol/PortCatalog.h"

namespace kv7 {

class Application {
public:
    struct Options {
        PortCatalog* catalog = nullptr;       // not owned; must outlive the application
        const iUtcClock* clock = nullptr;     // null: the system clock
        double siteLongitude = AppModel::defaultSiteLongitude;
        int settleMs = 500;
    };

    explicit Application(const Options& options);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    void attachFrontEnd(iMainDlgCallback* mainDialog, iWMUserSender* sender);
    // The whole life of a windowed program: attaches the window, starts,
    // runs the window until it closes, and shuts down without a byte to the
    // controller. Returns 0.
    int run(iMainDlgCallback* mainDialog, iWMUserSender* sender, const std::function<void()>& runWindow);
    void start();
    // Detaches the front end, stops the heartbeat, then the link's threads.
    // Safe to call twice; the destructor calls it.
    void shutdown();

    AppModel& model() { return *appModel; }
    CommControl& control() { return *commControl; }
    HeartBeatTimer& heartbeat() { return *timer; }

private:
    std::unique_ptr<HeartBeatTimer> timer;
    std::unique_ptr<AppModel> appModel;
    std::unique_ptr<CommControl> commControl;
    bool shutDown = false;
};

}  // namespace kv7
