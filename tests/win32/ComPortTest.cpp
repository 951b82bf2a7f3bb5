// The real serial path end to end: COM1, which the test script maps to a
// pseudo-terminal served by the Linux kv7sim, opened by the Win32 port
// through the Windows catalogue, with the whole application wired as the
// program wires it. Needs that set-up; scripts/test-windows makes it.
#include <gtest/gtest.h>

#include "entry/Application.h"
#include "cli/Console.h"
#include "link/LinkTypes.h"
#include "platform/win32/WindowsPortCatalog.h"

namespace kv7::test {
namespace {

using namespace std::chrono_literals;

TEST(Com1, IsOpenedWithTheControllersLineSettings)
{
    WindowsPortCatalog catalog;
    for (const std::uint32_t baud : {9600u, 115200u}) {
        PortBinding binding;
        ASSERT_TRUE(catalog.resolve(1, binding));
        ASSERT_STREQ(binding.device, "\\\\.\\COM1");
        auto* port = static_cast<Win32SerialPort*>(binding.port);
        ASSERT_TRUE(port->open(binding.device, baud)) << "is COM1 mapped? error " << ::GetLastError();
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        ASSERT_TRUE(::GetCommState(port->nativeHandle(), &dcb));
        EXPECT_EQ(dcb.BaudRate, baud);
        EXPECT_EQ(dcb.ByteSize, 8);
        EXPECT_EQ(dcb.Parity, NOPARITY);
        EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
        EXPECT_FALSE(dcb.fParity);
        COMMTIMEOUTS timeouts{};
        ASSERT_TRUE(::GetCommTimeouts(port->nativeHandle(), &timeouts));
        EXPECT_EQ(timeouts.ReadIntervalTimeout, 1u);
        EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier, 0u);
        EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 0u);
        EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, 0u);
        port->close();
    }
}

TEST(Com1, ConnectsAt9600AndReadsTheEncoders)
{
    WindowsPortCatalog catalog;
    Application::Options options;
    options.catalog = &catalog;
    Application app(options);
    cli::Console console(app.model(), app.control());
    app.attachFrontEnd(&console, &console);
    app.start();

    app.model().connect(1, 9600);
    const bool settled = console.runUntil(
        [&] { return console.sawStatus(Status::ConnectionEstablished) || console.firstError() >= 0; }, 20s);
    ASSERT_TRUE(settled);
    EXPECT_EQ(console.firstError(), -1);
    ASSERT_GE(console.statuses().size(), 3u);
    EXPECT_EQ(console.statuses()[0], Status::OpeningPort);
    EXPECT_EQ(console.statuses()[1], Status::Connecting);
    EXPECT_TRUE(console.sawStatus(Status::ConnectionEstablished));
    EXPECT_EQ(console.configurations(), 1);
    EXPECT_GT(app.model().parameters.raMicrosteps, 0u);

    app.control().readEncoders(0);
    ASSERT_TRUE(console.runUntil([&] { return console.mountStates() > 0; }, 10s));
    EXPECT_EQ(app.model().mountState.valid, 1);

    app.control().disconnect();
    EXPECT_TRUE(console.runUntil([&] { return console.sawStatus(Status::ConnectionClosed); }, 10s));
    app.shutdown();
}

}  // namespace
}  // namespace kv7::test
