#include "resources/resources.h"

#include <array>

#include "resources/resource_ids.h"

namespace {

using fw::ControlKind;
using fw::ControlTemplate;

constexpr unsigned kBox = fw::kMultiLine | fw::kVScroll | fw::kTabStop;
constexpr unsigned kLine = fw::kAutoHScroll | fw::kTabStop;
constexpr unsigned kText = fw::kGroup;

// Template 102, the main dialog. Template order is creation, tab and
// stacking order.
constexpr std::array<ControlTemplate, 16> kMainControls = {{
    {IDC_PAYLOAD, "IDC_PAYLOAD", ControlKind::Edit, u"", {9, 59, 163, 79}, kBox},
    {IDC_FRAME, "IDC_FRAME", ControlKind::Edit, u"", {214, 54, 194, 60}, kBox},
    {IDC_ENCODE, "IDC_ENCODE", ControlKind::Button, u"Encode", {178, 76, 33, 14}, fw::kTabStop},
    {IDC_ADDRESS, "IDC_ADDRESS", ControlKind::Edit, u"", {50, 7, 40, 14}, kLine},
    {-1, "address_label", ControlKind::Label, u"Address", {11, 7, 26, 8}, kText},
    {-1, "command_label", ControlKind::Label, u"Command", {10, 24, 32, 8}, kText},
    {IDC_COMMAND, "IDC_COMMAND", ControlKind::Edit, u"", {50, 23, 40, 14}, kLine},
    {-1, "payload_label", ControlKind::Label, u"Payload", {9, 44, 80, 8}, kText},
    {-1, "command_hint", ControlKind::Label, u"(HEX number, 0x86, fill 86)", {98, 26, 116, 8}, kText},
    {-1, "address_hint", ControlKind::Label, u"(0-255,default is 0)", {98, 9, 114, 8}, kText},
    {-1, "frame_label", ControlKind::Label, u"Command", {214, 40, 132, 8}, kText},
    {-1, "payload_hint", ControlKind::Label, u"Payload must be HEX", {68, 47, 102, 8}, kText | fw::kBorder},
    {-1, "frame_layout", ControlKind::Picture, u"", {11, 146, 163, 27}, fw::kBitmap, kFrameLayoutBitmap},
    {IDC_DECODE, "IDC_DECODE", ControlKind::Button, u"Decode", {302, 115, 33, 14}, fw::kTabStop},
    {IDC_DECODED, "IDC_DECODED", ControlKind::Edit, u"", {214, 131, 195, 69}, kBox},
    {-1, "decoded_label", ControlKind::Label, u"Decode ", {215, 119, 35, 8}, kText},
}};

// Template 100, the About box.
constexpr std::array<ControlTemplate, 4> kAboutControls = {{
    {-1, "about_icon", ControlKind::Picture, u"", {14, 14, 21, 20}, fw::kIcon, kAppIcon},
    {-1,
     "about_version",
     ControlKind::Label,
     u"kelvo_vavo_zuru，1.0 版",
     {42, 14, 114, 8},
     kText | fw::kNoPrefix},
    {-1, "about_notice", ControlKind::Label, u"串口帧文本的编码与解码。", {42, 26, 114, 8}, kText},
    {1,
     "ok_button",
     ControlKind::Button,
     u"确定",
     {113, 41, 50, 14},
     fw::kDefault | fw::kTabStop | fw::kGroup},
}};

constexpr std::array<fw::DialogTemplate, 2> kDialogs = {{
    {kAboutTemplate, u"关于 kelvo_vavo_zuru", 170, 62, u"MS Shell Dlg", 9, kAboutControls},
    {kMainTemplate, u"kelvo data encoding sample", 422, 210, u"MS Shell Dlg", 9, kMainControls},
}};

constexpr std::array<fw::StringResource, 7> kStrings = {{
    {kStrAboutItem, u"关于 kelvo_vavo_zuru(&A)..."},
    {kStrNetworkFailed, u"Windows 套接字初始化失败。"},
    {fw::kIdsOutOfMemory, u"内存不足。"},
    {fw::kIdsInvalidArgument, u"遇到不适当的参数。"},
    {fw::kIdsHelpFailed, u"启动帮助失败。"},
    {fw::kIdsInternalFailure, u"内部应用程序出错。"},
    {fw::kIdsCommandFailure, u"命令失败。"},
}};

constexpr fw::ResourceSet kResources{kDialogs, kStrings};

}  // namespace

const fw::ResourceSet& ProgramResources() noexcept {
  return kResources;
}
