// Ids of the program's resources, controls and commands.
#pragma once

inline constexpr int kAboutTemplate = 100;
inline constexpr int kStrAboutItem = 101;
inline constexpr int kMainTemplate = 102;
inline constexpr int kStrNetworkFailed = 103;
inline constexpr int kAppIcon = 128;
inline constexpr int kFrameLayoutBitmap = 129;

inline constexpr int IDC_PAYLOAD = 1000;
inline constexpr int IDC_FRAME = 1001;
inline constexpr int IDC_ENCODE = 1002;
inline constexpr int IDC_ADDRESS = 1003;
inline constexpr int IDC_COMMAND = 1004;
inline constexpr int IDC_DECODE = 1005;
inline constexpr int IDC_DECODED = 1006;

// System-menu command of the About item; the low four bits of system
// commands belong to the window system.
inline constexpr unsigned IDM_ABOUTBOX = 0x0010;
