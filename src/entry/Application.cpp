#include "entry/Application.h"

namespace kv7 {

Application::Application(const Options& options)
    : timer(std::make_unique<HeartBeatTimer>()),
      appModel(std::make_unique<AppModel>(options.clock, options.siteLongitude))
{
    CommControl::Options linkOptions;
    linkOptions.settleMs = options.settleMs;
    linkOptions.initialEncoderFormat = appModel->axisConfiguration.encoderFormat;
    commControl = std::make_unique<CommControl>(appModel.get(), appModel.get(), options.catalog, linkOptions);
    appModel->setControl(commControl.get());
    timer->setListener(commControl.get());
}

Application::~Application()
{
    shutdown();
    // Released in the reverse order of creation by the members' destructors:
    // the link, then the model, then the timer.
}

void Application::attachFrontEnd(iMainDlgCallback* mainDialog, iWMUserSender* sender)
{
    appModel->setMainDialog(mainDialog);
    appModel->setSender(sender);
}

int Application::run(iMainDlgCallback* mainDialog, iWMUserSender* sender, const std::function<void()>& runWindow)
{
    attachFrontEnd(mainDialog, sender);
    start();
    runWindow();
    shutdown();
    return 0;
}

void Application::start() { timer->start(); }

void Application::shutdown()
{
    if (shutDown)
        return;
    shutDown = true;
    appModel->setMainDialog(nullptr);
    timer->clearListener();
    timer->stop();
    commControl->stopThreads();
}

}  // namespace kv7
