// The INDI telescope driver: INDI::Telescope over the same Application (the
// link, the model, the site and time) as the windows and kv7ctl. The link
// keeps its own serial port: DEVICE_PORT names a device the port catalogue
// adds (or "sim", the built-in simulator), and the link opens it.
//
// Threads: the link posts its notifications to a Console (cli/Console.h),
// and only the INDI event loop dispatches them (TimerHit, and the waits of
// Connect and Disconnect), so every property is touched on that one thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include <libindi/inditelescope.h>

#include "app/UserSettings.h"
#include "cli/Console.h"
#include "entry/Application.h"
#include "indi/DriverLogic.h"

namespace kv7::indi {

class Kv7Telescope final : public INDI::Telescope {
public:
    struct Environment {
        PortCatalog* catalog = nullptr;
        // Adds a device path to the catalogue; its number, or 0.
        std::function<std::uint32_t(const std::string&)> addDevice;
        iSettingsStore* settings = nullptr;   // null: the site is not kept
    };

    explicit Kv7Telescope(const Environment& environment);
    ~Kv7Telescope() override;

    const char* getDefaultName() override { return "KV7"; }
    bool initProperties() override;
    bool updateProperties() override;
    void ISGetProperties(const char* dev) override;
    bool ISNewNumber(const char* dev, const char* name, double values[], char* names[], int n) override;
    bool ISNewSwitch(const char* dev, const char* name, ISState* states, char* names[], int n) override;
    bool ISNewText(const char* dev, const char* name, char* texts[], char* names[], int n) override;

protected:
    bool Connect() override;
    bool Disconnect() override;
    void TimerHit() override;
    bool ReadScopeStatus() override;
    bool Goto(double ra, double dec) override;
    bool Sync(double ra, double dec) override;
    bool Abort() override;
    bool MoveNS(INDI_DIR_NS dir, TelescopeMotionCommand command) override;
    bool MoveWE(INDI_DIR_WE dir, TelescopeMotionCommand command) override;
    bool SetSlewRate(int index) override;
    bool SetTrackEnabled(bool enabled) override;
    bool updateLocation(double latitude, double longitude, double elevation) override;
    bool updateTime(ln_date* utc, double utcOffset) override;
    bool saveConfigItems(FILE* fp) override;

private:
    // A position out of the sky: Alert with the reason, and true.
    bool refusedCoordinates(const char* name, const double values[], char* names[], int n);
    // The link's notifications, on the event loop's thread.
    void onStatus(std::uint16_t status);
    void onMountState(const MountState& m);
    std::uint16_t onFlipQuestion(std::int32_t kind);
    void onArrived();
    void onRefused(std::uint16_t status);
    void onLost();
    void failPositioning();
    // Dispatches what the link posted; waits at most limit for done().
    bool pumpUntil(const std::function<bool()>& done, int limitMs);
    void pump() { pumpUntil([] { return false; }, 0); }
    bool waitForStatus(std::uint16_t status, int limitMs);
    // Whether a status shown since the from-th matches.
    bool statusSince(std::size_t from, const std::function<bool(std::uint16_t)>& which) const;
    bool resolvePort(std::uint32_t& number);
    std::uint32_t baudRate() const;
    void publishPosition();
    void showStatusText(std::uint16_t status);
    // Ends the request of the KV7 tab that waits for the link's answer.
    void settle(IPState state);

    // The KV7 tab (Kv7Tab.cpp).
    void initKv7Tab();
    void initEncoderProperties();
    void defineKv7Tab();
    void deleteKv7Tab();
    void showConfiguration();
    void showEncoderReading(const MountState& m);
    bool newKv7Number(const char* name, double values[], char* names[], int n);
    bool newKv7Switch(const char* name, ISState* states, char* names[], int n);
    void sendEncoderFormat(double values[], char* names[], int n);
    void sendCalibration(double values[], char* names[], int n);
    void sendMotorReversal(ISState* states, char* names[], int n);
    void sendPierAction(ISState* states, char* names[], int n);
    void storeParameters();

    Environment env;
    UserSettings site;
    Application app;
    cli::Console console;
    std::size_t statusCount = 0;   // of console.statuses() handled so far
    std::uint32_t tick = 0;
    bool slewing = false;        // a GOTO is under way
    bool trackAfterSlew = true;  // ON_COORD_SET was TRACK when it began
    bool positionAlert = false;  // the last GOTO or sync failed: EQUATORIAL_EOD_COORD shows Alert
    std::uint8_t speedIndex = slewRates()[1].speedIndex;
    bool portConfigLoaded = false;
    int configurationsShown = 0;
    bool connecting = false;     // Connect is waiting for the connect sequence
    bool settleOnReading = false;   // arrived: the next axes reading ends the GOTO
    MountState last{};
    std::function<void(IPState)> pendingRequest;

    // Connection tab: the port as text and the line speed.
    ITextVectorProperty PortTP;
    IText PortT[1] {};
    ISwitchVectorProperty BaudSP;
    ISwitch BaudS[2];

    // KV7 tab.
    ITextVectorProperty StatusTP;
    IText StatusT[1] {};
    ISwitchVectorProperty FlipPolicySP;
    ISwitch FlipPolicyS[3];
    INumberVectorProperty SpeedNP;
    INumber SpeedN[1];
    INumberVectorProperty EncoderNP;
    INumber EncoderN[4];
    ITextVectorProperty EncoderDmsTP;
    IText EncoderDmsT[2] {};
    INumberVectorProperty FormatNP;
    INumber FormatN[6];
    ISwitchVectorProperty FormatFlagsSP;
    ISwitch FormatFlagsS[4];
    INumberVectorProperty CalibrationNP;
    INumber CalibrationN[2];
    ISwitchVectorProperty EncoderReverseSP;
    ISwitch EncoderReverseS[2];
    ISwitchVectorProperty MotorReverseSP;
    ISwitch MotorReverseS[2];
    ISwitchVectorProperty PierActionSP;
    ISwitch PierActionS[4];
    ISwitchVectorProperty StoreSP;
    ISwitch StoreS[1];
};

}  // namespace kv7::indi
