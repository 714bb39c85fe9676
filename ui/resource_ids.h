#pragma once

// Dialog, control, menu and command ids. They are the contract with the
// language files: a pack names every text it replaces by these numbers, so
// they never change.

namespace quorvex {

// Dialogs, menu, icon and strings.
inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDS_ABOUTBOX = 101;
inline constexpr int IDD_MAIN = 102;
inline constexpr int IDR_MAINFRAME = 128;
inline constexpr int IDR_CONTEXTMENU = 129;
inline constexpr int IDD_BASEINFO = 130;
inline constexpr int IDD_NETCONFIG = 131;
inline constexpr int IDD_CREDENTIALS = 132;
inline constexpr int IDD_CHANGE_PLAN = 133;

// Template controls without an id of their own (group frames, the about
// icon) carry this one, so that a pack entry for id 0 reaches only the inner
// windows of composite controls.
inline constexpr int IDC_STATIC = -1;

// The dialogs' own buttons.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// Main window.
inline constexpr int IDC_DEVICE_LIST = 1001;
inline constexpr int IDC_BANNER = 1002;
inline constexpr int IDC_LANGUAGE = 1004;
inline constexpr int IDC_LANGUAGE_LABEL = 1014;
inline constexpr int IDC_FILTER = 1005;
inline constexpr int IDC_STATUS = 1006;
inline constexpr int IDC_NOTICE = 1007;

// About dialog.
inline constexpr int IDC_ABOUT_VERSION = 1000;
inline constexpr int IDC_ABOUT_SECOND_LINE = 1001;

// Basic information dialog.
inline constexpr int IDC_SYSTEM_VERSION = 1008;
inline constexpr int IDC_APP_VERSION = 1009;
inline constexpr int IDC_SYSTEM_VERSION_LABEL = 1015;
inline constexpr int IDC_APP_VERSION_LABEL = 1016;
inline constexpr int IDC_NAME_LABEL = 1030;
inline constexpr int IDC_NAME = 1031;
inline constexpr int IDC_OWN_ADDRESS_LABEL = 1032;
inline constexpr int IDC_OWN_ADDRESS = 1033;
inline constexpr int IDC_OWN_MASK_LABEL = 1034;
inline constexpr int IDC_OWN_MASK = 1035;
inline constexpr int IDC_MAC_LABEL = 1036;
inline constexpr int IDC_MAC = 1037;

// Network configuration dialog.
inline constexpr int IDC_DHCP = 1010;
inline constexpr int IDC_IP_ADDRESS = 1012;
inline constexpr int IDC_HTTP_PORT = 1015;
inline constexpr int IDC_USER = 1016;
inline constexpr int IDC_PASSWORD = 1017;
inline constexpr int IDC_SUBNET_MASK = 1018;
inline constexpr int IDC_GATEWAY = 1019;
inline constexpr int IDC_DNS1 = 1020;
inline constexpr int IDC_DNS2 = 1021;
inline constexpr int IDC_IP_ADDRESS_LABEL = 1022;
inline constexpr int IDC_SUBNET_MASK_LABEL = 1023;
inline constexpr int IDC_GATEWAY_LABEL = 1024;
inline constexpr int IDC_DNS1_LABEL = 1025;
inline constexpr int IDC_HTTP_PORT_LABEL = 1026;
inline constexpr int IDC_USER_LABEL = 1027;
inline constexpr int IDC_PASSWORD_LABEL = 1028;
inline constexpr int IDC_DNS2_LABEL = 1029;
// Why a value is refused, under its field; filled from the string table.
inline constexpr int IDC_IP_ADDRESS_PROBLEM = 1040;
inline constexpr int IDC_SUBNET_MASK_PROBLEM = 1041;
inline constexpr int IDC_GATEWAY_PROBLEM = 1042;
inline constexpr int IDC_DNS1_PROBLEM = 1043;
inline constexpr int IDC_DNS2_PROBLEM = 1044;
inline constexpr int IDC_HTTP_PORT_PROBLEM = 1045;
inline constexpr int IDC_USER_PROBLEM = 1046;
inline constexpr int IDC_PASSWORD_PROBLEM = 1047;
// Under the credentials of a batch: what blank fields mean.
inline constexpr int IDC_BATCH_NOTE = 1048;

// Credentials prompt and change plan.
inline constexpr int IDC_CREDENTIALS_HINT = 1050;
inline constexpr int IDC_PLAN_TEXT = 1051;
inline constexpr int IDC_PLAN_QUESTION = 1052;
inline constexpr int IDC_CREDENTIALS_NEEDED = 1053;
// Basic information of a WS-Discovery camera: model, firmware, serial, DHCP,
// gateway, name servers and HTTP port; each label's id is its value's less
// one. Worded from the window's texts, not the dialog's resource.
inline constexpr int IDC_STANDARD_MODEL = 1055;
inline constexpr int IDC_STANDARD_FIRMWARE = 1057;
inline constexpr int IDC_STANDARD_SERIAL = 1059;
inline constexpr int IDC_STANDARD_DHCP = 1061;
inline constexpr int IDC_STANDARD_GATEWAY = 1063;
inline constexpr int IDC_STANDARD_DNS = 1065;
inline constexpr int IDC_STANDARD_HTTP_PORT = 1067;

// Context menu commands, in their popup order.
inline constexpr int ID_BASE_INFO = 32776;
inline constexpr int ID_NET_CONFIG = 32777;
inline constexpr int ID_REFRESH_LIST = 32778;
inline constexpr int ID_CLEAR_ARP = 32779;
inline constexpr int ID_ABOUT = 32780;
// Items after the five above; packs name them by positions 5 to 7.
inline constexpr int ID_EXPORT_ALL = 32781;
inline constexpr int ID_EXPORT_SHOWN = 32782;
inline constexpr int ID_COPY_ROWS = 32783;
inline constexpr int ID_CLEAR_MARKS = 32784;

// The language string shown in the address column of a device outside the
// subnet of the interface that heard it.
inline constexpr int IDS_OUTSIDE_SUBNET = 1;

}  // namespace quorvex
