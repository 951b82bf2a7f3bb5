#include "ui/DialogLayouts.h"

#include "ui/Branding.h"
#include "ui/ControlIds.h"

namespace kv7 {

namespace {

using K = ControlKind;
namespace F = ControlFlag;
constexpr int none = -1;

// clang-format off
constexpr ControlEntry mainControls[] = {
    // Port row and status line.
    {none,                 K::Label,        "Port:",        {4, 7, 18, 8},     F::None},
    {MainId::PortList,     K::DropDownList, "",             {24, 4, 86, 200},  F::None},
    {MainId::Baud115200,   K::CheckBox,     "115200 Baud",  {114, 5, 62, 10},  F::None},
    {MainId::Connect,      K::PushButton,   "Connect",      {180, 3, 50, 14},  F::None},
    {MainId::Disconnect,   K::PushButton,   "Disconnect",   {234, 3, 50, 14},  F::None},
    {MainId::Snapshot,     K::PushButton,   "Snapshot...",  {288, 3, 50, 14},  F::None},
    {MainId::Commissioning, K::PushButton,  "Commissioning...", {342, 3, 68, 14}, F::None},
    {MainId::About,        K::PushButton,   "About...",     {414, 3, 38, 14},  F::None},
    {MainId::StatusLine,   K::Edit,         "",             {4, 21, 306, 12},  F::ReadOnly},
    {MainId::MessageLine,  K::Edit,         "",             {312, 21, 140, 12}, F::ReadOnly},

    // Hand pad: east is on the left as seen from under the sky.
    {none,                 K::Label,        "N",            {45, 38, 12, 8},   F::AlignCenter},
    {MainId::HoldToMove,   K::CheckBox,     "Hold",         {4, 40, 32, 10},   F::None},
    {MainId::North,        K::ArrowButton,  "",             {39, 47, 24, 14},  F::ReportsPress},
    {none,                 K::Label,        "E",            {4, 66, 6, 8},     F::AlignCenter},
    {MainId::East,         K::ArrowButton,  "",             {11, 63, 24, 14},  F::ReportsPress},
    {MainId::Stop,         K::PushButton,   "Stop",         {37, 63, 28, 14},  F::None},
    {MainId::West,         K::ArrowButton,  "",             {67, 63, 24, 14},  F::ReportsPress},
    {none,                 K::Label,        "W",            {92, 66, 6, 8},    F::AlignCenter},
    {MainId::South,        K::ArrowButton,  "",             {39, 79, 24, 14},  F::ReportsPress},
    {none,                 K::Label,        "S",            {45, 95, 12, 8},   F::AlignCenter},
    {MainId::Speed,        K::Slider,       "",             {4, 105, 78, 18},  F::AutoTicks},
    {MainId::SpeedValue,   K::Label,        "",             {84, 110, 14, 8},  F::AlignCenter},

    {MainId::EncoderSetup,       K::PushButton, "Encoder setup",       {4, 127, 94, 14}, F::None},
    {MainId::EncoderCalibration, K::PushButton, "Encoder calibration", {4, 143, 94, 14}, F::None},
    {MainId::ReadEncoders,       K::PushButton, "Read encoders",       {4, 159, 94, 14}, F::None},
    {MainId::SyncToEncoders,     K::PushButton, "Sync to encoders",    {4, 175, 94, 14}, F::None},
    {MainId::SyncToTarget,       K::PushButton, "Sync to target",      {4, 191, 94, 14}, F::None},
    {MainId::TrackOn,  K::PushLikeCheckBox, "Track on",  {4, 209, 45, 14},  F::ManualCheck},
    {MainId::TrackOff, K::PushLikeCheckBox, "Track off", {53, 209, 45, 14}, F::ManualCheck},

    {none,             K::GroupBox,         "Meridian flip", {4, 227, 94, 31},  F::None},
    {MainId::FlipEast, K::PushLikeCheckBox, "Flip East",     {8, 239, 42, 14},  F::ManualCheck},
    {MainId::FlipWest, K::PushLikeCheckBox, "Flip West",     {52, 239, 42, 14}, F::ManualCheck},
    {none,             K::GroupBox,         "Fixed ref pos", {4, 262, 94, 31},  F::None},
    {MainId::SetEast,  K::PushLikeCheckBox, "Set East",      {8, 274, 42, 14},  F::ManualCheck},
    {MainId::SetWest,  K::PushLikeCheckBox, "Set West",      {52, 274, 42, 14}, F::ManualCheck},
    {MainId::SaveIntoKv7, K::PushButton,    "Save into KV7", {4, 302, 94, 14},  F::None},

    // RA configuration.
    {none,                        K::GroupBox,   "RA configuration",      {104, 38, 172, 108}, F::None},
    {none,                        K::Label,      "Gear ratio:",           {108, 52, 78, 8},   F::AlignRight},
    {MainId::RaGearRatio,         K::Edit,       "",                      {188, 50, 84, 12},  F::ReadOnly},
    {none,                        K::Label,      "Microstep resolution:", {108, 66, 78, 8},   F::AlignRight},
    {MainId::RaMicrosteps,        K::Edit,       "",                      {188, 64, 84, 12},  F::ReadOnly},
    {none,                        K::Label,      "Encoder resolution:",   {108, 80, 78, 8},   F::AlignRight},
    {MainId::RaBitsPerRevolution, K::Edit,       "",                      {188, 78, 16, 12},  F::ReadOnly},
    {MainId::RaEncoderResolution, K::Edit,       "",                      {206, 78, 66, 12},  F::ReadOnly},
    {none,                        K::EtchedLine, "",                      {108, 94, 164, 1},  F::None},
    {MainId::RaReverseMotor,      K::CheckBox,   "Reverse motor",         {112, 98, 80, 10},  F::None},
    {none,                        K::EtchedLine, "",                      {108, 111, 164, 1}, F::None},
    {MainId::RaReverseEncoder,    K::CheckBox,   "Reverse encoder",       {112, 115, 80, 10}, F::None},
    {none,                        K::Label,      "Encoder offset:",       {108, 131, 78, 8},  F::AlignRight},
    {MainId::RaEncoderOffset,     K::Edit,       "",                      {188, 129, 56, 12}, F::None},
    {MainId::RaAdjust,            K::PushButton, "Adj.",                  {246, 128, 26, 14}, F::None},

    // Dec configuration: the RA group moved 176 units to the right.
    {none,                         K::GroupBox,   "Dec configuration",     {280, 38, 172, 108}, F::None},
    {none,                         K::Label,      "Gear ratio:",           {284, 52, 78, 8},   F::AlignRight},
    {MainId::DecGearRatio,         K::Edit,       "",                      {364, 50, 84, 12},  F::ReadOnly},
    {none,                         K::Label,      "Microstep resolution:", {284, 66, 78, 8},   F::AlignRight},
    {MainId::DecMicrosteps,        K::Edit,       "",                      {364, 64, 84, 12},  F::ReadOnly},
    {none,                         K::Label,      "Encoder resolution:",   {284, 80, 78, 8},   F::AlignRight},
    {MainId::DecBitsPerRevolution, K::Edit,       "",                      {364, 78, 16, 12},  F::ReadOnly},
    {MainId::DecEncoderResolution, K::Edit,       "",                      {382, 78, 66, 12},  F::ReadOnly},
    {none,                         K::EtchedLine, "",                      {284, 94, 164, 1},  F::None},
    {MainId::DecReverseMotor,      K::CheckBox,   "Reverse motor",         {288, 98, 80, 10},  F::None},
    {none,                         K::EtchedLine, "",                      {284, 111, 164, 1}, F::None},
    {MainId::DecReverseEncoder,    K::CheckBox,   "Reverse encoder",       {288, 115, 80, 10}, F::None},
    {none,                         K::Label,      "Encoder offset:",       {284, 131, 78, 8},  F::AlignRight},
    {MainId::DecEncoderOffset,     K::Edit,       "",                      {364, 129, 56, 12}, F::None},
    {MainId::DecAdjust,            K::PushButton, "Adj.",                  {422, 128, 26, 14}, F::None},

    // Mount state.
    {none,                     K::GroupBox, "Mount state",      {104, 150, 348, 80}, F::None},
    {none,                     K::Label,    "System",           {164, 160, 60, 8},  F::AlignCenter},
    {none,                     K::Label,    "Arcseconds",       {228, 160, 60, 8},  F::AlignCenter},
    {none,                     K::Label,    "Degs / min / sec", {292, 160, 64, 8},  F::AlignCenter},
    {none,                     K::Label,    "Pier side:",       {362, 160, 84, 8},  F::None},
    {none,                     K::Label,    "RA motor:",        {108, 172, 54, 8},  F::AlignRight},
    {MainId::RaMotorSystem,    K::Edit,     "",                 {164, 170, 60, 12}, F::ReadOnly},
    {MainId::RaMotorArcsec,    K::Edit,     "",                 {228, 170, 60, 12}, F::ReadOnly},
    {MainId::RaMotorDms,       K::Edit,     "",                 {292, 170, 64, 12}, F::ReadOnly},
    {MainId::PierSide,         K::Edit,     "",                 {362, 170, 84, 12}, F::ReadOnly},
    {none,                     K::Label,    "RA encoder:",      {108, 186, 54, 8},  F::AlignRight},
    {MainId::RaEncoderSystem,  K::Edit,     "",                 {164, 184, 60, 12}, F::ReadOnly},
    {MainId::RaEncoderArcsec,  K::Edit,     "",                 {228, 184, 60, 12}, F::ReadOnly},
    {MainId::RaEncoderDms,     K::Edit,     "",                 {292, 184, 64, 12}, F::ReadOnly},
    {none,                     K::Label,    "Dec motor:",       {108, 200, 54, 8},  F::AlignRight},
    {MainId::DecMotorSystem,   K::Edit,     "",                 {164, 198, 60, 12}, F::ReadOnly},
    {MainId::DecMotorArcsec,   K::Edit,     "",                 {228, 198, 60, 12}, F::ReadOnly},
    {MainId::DecMotorDms,      K::Edit,     "",                 {292, 198, 64, 12}, F::ReadOnly},
    {none,                     K::Label,    "Dec encoder:",     {108, 214, 54, 8},  F::AlignRight},
    {MainId::DecEncoderSystem, K::Edit,     "",                 {164, 212, 60, 12}, F::ReadOnly},
    {MainId::DecEncoderArcsec, K::Edit,     "",                 {228, 212, 60, 12}, F::ReadOnly},
    {MainId::DecEncoderDms,    K::Edit,     "",                 {292, 212, 64, 12}, F::ReadOnly},
    {MainId::LiveView,         K::CheckBox, "Live view",        {362, 192, 84, 10}, F::None},
    {MainId::GetState,         K::PushButton, "GET STATE",      {362, 211, 84, 14}, F::None},

    // Observing place and time.
    {none,                  K::GroupBox,   "Observing place and time", {104, 232, 348, 42}, F::None},
    {none,                  K::Label,      "Lat:",  {108, 246, 22, 8},  F::AlignRight},
    {MainId::Latitude,      K::Edit,       "",      {132, 244, 76, 12}, F::None},
    {none,                  K::Label,      "Long:", {212, 246, 24, 8},  F::AlignRight},
    {MainId::Longitude,     K::Edit,       "",      {238, 244, 76, 12}, F::None},
    {MainId::PlaceGet,      K::PushButton, "GET",   {320, 243, 40, 14}, F::None},
    {MainId::PlaceSet,      K::PushButton, "SET",   {364, 243, 40, 14}, F::None},
    {MainId::SiteNote,      K::Label,      "",      {408, 246, 40, 8},  F::None},
    {none,                  K::Label,      "UT:",   {108, 260, 22, 8},  F::AlignRight},
    {MainId::UniversalTime, K::Edit,       "",      {132, 258, 100, 12}, F::None},
    {none,                  K::Label,      "LST:",  {234, 260, 22, 8},  F::AlignRight},
    {MainId::SiderealTime,  K::Edit,       "",      {258, 258, 56, 12}, F::ReadOnly},
    {MainId::TimeGet,       K::PushButton, "GET",   {320, 257, 40, 14}, F::None},
    {MainId::TimeSet,       K::PushButton, "SET",   {364, 257, 40, 14}, F::None},
    {MainId::TimeNote,      K::Label,      "",      {408, 260, 40, 8},  F::None},

    // Target.
    {none,              K::GroupBox,   "Target", {104, 276, 348, 40}, F::None},
    {none,              K::Label,      "RA:",    {108, 292, 22, 8},  F::AlignRight},
    {MainId::TargetRa,  K::Edit,       "",       {132, 290, 76, 12}, F::None},
    {none,              K::Label,      "Dec:",   {212, 292, 24, 8},  F::AlignRight},
    {MainId::TargetDec, K::Edit,       "",       {238, 290, 76, 12}, F::None},
    {MainId::TargetGet, K::PushButton, "GET",    {320, 289, 40, 14}, F::None},
    {MainId::Goto,      K::PushButton, "GOTO",   {364, 289, 40, 14}, F::None},
};

constexpr ControlEntry encoderSetupControls[] = {
    {EncoderSetupId::Group,                     K::GroupBox, "RA",  {4, 4, 118, 115},   F::None},
    {EncoderSetupId::RaInvert,                  K::CheckBox, "Invert data", {12, 18, 100, 10}, F::None},
    {EncoderSetupId::RaGray,                    K::CheckBox, "Gray format", {12, 32, 100, 10}, F::None},
    {EncoderSetupId::RaBitsPerRevolutionLabel,  K::Label, "Bits per one revolution:", {8, 56, 84, 8}, F::AlignRight},
    {EncoderSetupId::RaBitsPerRevolution,       K::Edit,  "",                         {94, 54, 24, 12}, F::None},
    {EncoderSetupId::RaBitsForRevolutionsLabel, K::Label, "Bits for revolutions:",    {8, 76, 84, 8}, F::AlignRight},
    {EncoderSetupId::RaBitsForRevolutions,      K::Edit,  "",                         {94, 74, 24, 12}, F::None},
    {EncoderSetupId::RaLeadingBitsLabel,        K::Label, "Leading bits:",            {8, 96, 84, 8}, F::AlignRight},
    {EncoderSetupId::RaLeadingBits,             K::Edit,  "",                         {94, 94, 24, 12}, F::None},

    {EncoderSetupId::Group,                      K::GroupBox, "Dec", {126, 4, 118, 115}, F::None},
    {EncoderSetupId::DecInvert,                  K::CheckBox, "Invert data", {134, 18, 100, 10}, F::None},
    {EncoderSetupId::DecGray,                    K::CheckBox, "Gray format", {134, 32, 100, 10}, F::None},
    {EncoderSetupId::DecBitsPerRevolutionLabel,  K::Label, "Bits per one revolution:", {130, 56, 84, 8}, F::AlignRight},
    {EncoderSetupId::DecBitsPerRevolution,       K::Edit,  "",                         {216, 54, 24, 12}, F::None},
    {EncoderSetupId::DecBitsForRevolutionsLabel, K::Label, "Bits for revolutions:",    {130, 76, 84, 8}, F::AlignRight},
    {EncoderSetupId::DecBitsForRevolutions,      K::Edit,  "",                         {216, 74, 24, 12}, F::None},
    {EncoderSetupId::DecLeadingBitsLabel,        K::Label, "Leading bits:",            {130, 96, 84, 8}, F::AlignRight},
    {EncoderSetupId::DecLeadingBits,             K::Edit,  "",                         {216, 94, 24, 12}, F::None},

    {EncoderSetupId::Hint,   K::Label,      "",       {4, 124, 240, 8},   F::None},
    {EncoderSetupId::Ok,     K::PushButton, "Ok",     {136, 136, 50, 14}, F::DefaultButton},
    {EncoderSetupId::Cancel, K::PushButton, "Cancel", {194, 136, 50, 14}, F::None},
};

constexpr ControlEntry offsetAdjustControls[] = {
    {OffsetAdjustId::ChannelLabel,   K::Label, "Selected channel:", {4, 10, 70, 8},   F::AlignRight},
    {OffsetAdjustId::Channel,        K::Label, "RA",                {78, 4, 40, 16},  F::HeadingFont},
    {OffsetAdjustId::SystemHeader,   K::Label, "System",            {82, 26, 76, 8},  F::AlignCenter},
    {OffsetAdjustId::ArcsecHeader,   K::Label, "Arcseconds",        {162, 26, 76, 8}, F::AlignCenter},
    {OffsetAdjustId::DmsHeader,      K::Label, "Degs / min / sec",  {242, 26, 76, 8}, F::AlignCenter},
    {OffsetAdjustId::OriginalLabel,  K::Label, "Original offset:",  {4, 40, 76, 8},   F::AlignRight},
    {OffsetAdjustId::OriginalSystem, K::Edit,  "",                  {82, 38, 76, 12}, F::ReadOnly},
    {OffsetAdjustId::OriginalArcsec, K::Edit,  "",                  {162, 38, 76, 12}, F::ReadOnly},
    {OffsetAdjustId::OriginalDms,    K::Edit,  "",                  {242, 38, 76, 12}, F::ReadOnly},
    {OffsetAdjustId::NewLabel,       K::Label, "New offset:",       {4, 56, 76, 8},   F::AlignRight},
    {OffsetAdjustId::NewSystem,      K::Edit,  "",                  {82, 54, 76, 12}, F::ReadOnly},
    {OffsetAdjustId::NewArcsec,      K::Edit,  "",                  {162, 54, 76, 12}, F::ReadOnly},
    {OffsetAdjustId::NewDms,         K::Edit,  "",                  {242, 54, 76, 12}, F::ReadOnly},

    {OffsetAdjustId::StepUpFirst + 0, K::PushButton, "+ 0.1 sec", {6, 74, 42, 14},   F::None},
    {OffsetAdjustId::StepUpFirst + 1, K::PushButton, "+ 1 sec",   {51, 74, 42, 14},  F::None},
    {OffsetAdjustId::StepUpFirst + 2, K::PushButton, "+ 10 secs", {96, 74, 42, 14},  F::None},
    {OffsetAdjustId::StepUpFirst + 3, K::PushButton, "+ 1 min",   {141, 74, 42, 14}, F::None},
    {OffsetAdjustId::StepUpFirst + 4, K::PushButton, "+ 10 mins", {186, 74, 42, 14}, F::None},
    {OffsetAdjustId::StepUpFirst + 5, K::PushButton, "+ 1 deg",   {231, 74, 42, 14}, F::None},
    {OffsetAdjustId::StepUpFirst + 6, K::PushButton, "+ 10 degs", {276, 74, 42, 14}, F::None},
    {OffsetAdjustId::StepDownFirst + 0, K::PushButton, "- 0.1 sec", {6, 92, 42, 14},   F::None},
    {OffsetAdjustId::StepDownFirst + 1, K::PushButton, "- 1 sec",   {51, 92, 42, 14},  F::None},
    {OffsetAdjustId::StepDownFirst + 2, K::PushButton, "- 10 secs", {96, 92, 42, 14},  F::None},
    {OffsetAdjustId::StepDownFirst + 3, K::PushButton, "- 1 min",   {141, 92, 42, 14}, F::None},
    {OffsetAdjustId::StepDownFirst + 4, K::PushButton, "- 10 mins", {186, 92, 42, 14}, F::None},
    {OffsetAdjustId::StepDownFirst + 5, K::PushButton, "- 1 deg",   {231, 92, 42, 14}, F::None},
    {OffsetAdjustId::StepDownFirst + 6, K::PushButton, "- 10 degs", {276, 92, 42, 14}, F::None},

    {OffsetAdjustId::Ok,     K::PushButton, "Ok",     {206, 114, 54, 14}, F::DefaultButton},
    {OffsetAdjustId::Cancel, K::PushButton, "Cancel", {264, 114, 54, 14}, F::None},
};

constexpr ControlEntry promptControls[] = {
    {PromptId::Heading,           K::Label, "Positioning with Meridian flip", {4, 6, 184, 8}, F::AlignCenter},
    {PromptId::PresentLabel,      K::Label, "Present state:", {4, 22, 60, 8},   F::AlignRight},
    {PromptId::Present,           K::Edit,  "",               {66, 20, 120, 12}, F::ReadOnly},
    {PromptId::TargetLabel,       K::Label, "Target state:",  {4, 36, 60, 8},   F::AlignRight},
    {PromptId::Target,            K::Edit,  "",               {66, 34, 120, 12}, F::ReadOnly},
    {PromptId::OptionalLabel,     K::Label, "Optional:",      {4, 50, 60, 8},   F::AlignRight},
    {PromptId::Optional,          K::Edit,  "",               {66, 48, 120, 12}, F::ReadOnly},
    {PromptId::WithFlip,          K::PushButton, "Positioning with Meridian flip",    {36, 64, 120, 16},  F::None},
    {PromptId::WithoutFlip,       K::PushButton, "Positioning without Meridian flip", {36, 82, 120, 16},  F::None},
    {PromptId::CancelPositioning, K::PushButton, "Cancel positioning",                {36, 100, 120, 16}, F::None},
};

constexpr ControlEntry aboutControls[] = {
    {AboutId::Title,   K::Label,      "KV7-Encoder test",              {6, 6, 180, 14},  F::TitleFont},
    {AboutId::Purpose, K::Label,      "For testing KV7 with Encoders", {6, 22, 180, 14}, F::None},
    {AboutId::Version, K::Label,      "",                              {6, 38, 180, 10}, F::None},
    {AboutId::Credit,  K::Label,      creditLine,                      {6, 56, 180, 10}, F::None},
    {AboutId::WebLink, K::Label,      makerWebAddress,                 {6, 68, 160, 10}, F::Link},
    {AboutId::Exit,    K::PushButton, "Exit",                          {136, 86, 50, 14}, F::DefaultButton},
};
// clang-format on

const DialogLayout mainLayout{100, mainCaption.data(), {45, 45, 456, 320}, mainControls};
const DialogLayout encoderSetup{101, "Encoder setup", {32, 32, 248, 154}, encoderSetupControls};
const DialogLayout offsetAdjust{102, "Fine adjust encoder offset", {32, 32, 324, 134}, offsetAdjustControls};
const DialogLayout prompt{103, "Meridian flip before positioning", {32, 32, 192, 120}, promptControls};
const DialogLayout about{104, "KV7-Encoder test", {32, 32, 192, 105}, aboutControls};

}  // namespace

const ControlEntry* findControl(const DialogLayout& layout, int id)
{
    for (const ControlEntry& c : layout.controls)
        if (c.id == id)
            return &c;
    return nullptr;
}

const DialogLayout& mainDialogLayout() { return mainLayout; }
const DialogLayout& encoderSetupLayout() { return encoderSetup; }
const DialogLayout& offsetAdjustLayout() { return offsetAdjust; }
const DialogLayout& meridianFlipPromptLayout() { return prompt; }
const DialogLayout& aboutBoxLayout() { return about; }

}  // namespace kv7
