#pragma once

// The texts the windows show beyond their dialog and menu resources: string
// ids of the language packs with their built-in English. A pack that lacks an
// id (an older pack) leaves the English text in place, so every pack loads.

#include <QString>

#include "search/address_check.h"
#include "search/change_confirmation.h"
#include "search/standard_change.h"
#include "search/standard_change_batch.h"
#include "search/wire_value.h"

namespace quorvex {

class LanguageX;

enum UiString : int {
    // Network configuration dialog: why a value is refused.
    IDS_ADDRESS_BLANK = 100,
    IDS_ADDRESS_INCOMPLETE = 101,
    IDS_OCTET_TOO_LARGE = 102,
    IDS_ADDRESS_MALFORMED = 103,
    IDS_ADDRESS_NOT_HOST = 104,
    IDS_MASK_NOT_CONTIGUOUS = 105,
    IDS_ADDRESS_NOT_IN_SUBNET = 106,
    IDS_GATEWAY_OUTSIDE = 107,
    IDS_PORT_RANGE = 108,
    IDS_WIRE_LINE_BREAK = 109,
    IDS_WIRE_CONTROL = 110,
    IDS_WIRE_TOO_LONG = 111,
    IDS_WIRE_NOT_ASCII = 112,
    IDS_START_ADDRESS = 113,
    IDS_BATCH_CAPTION = 114,
    IDS_BATCH_CREDENTIALS = 115,
    // Main window: filter and status line.
    IDS_FILTER_PLACEHOLDER = 120,
    IDS_STATUS_SHOWN = 121,
    IDS_STATUS_OUTSIDE = 122,
    IDS_STATUS_CONFLICTS = 123,
    IDS_STATUS_SILENT = 124,
    IDS_STATUS_SEARCHING = 125,
    IDS_STATUS_NO_INTERFACE = 126,
    IDS_STATUS_STARTING = 127,
    IDS_PROBLEM_LINE = 128,
    IDS_STATE_SOCKET_FAILED = 129,
    IDS_STATE_BIND_FAILED = 130,
    IDS_STATE_JOIN_FAILED = 131,
    IDS_STATE_GONE = 132,
    IDS_PROTOCOL_BINARY = 133,
    IDS_PROTOCOL_TEXT = 134,
    IDS_STATUS_DROPS = 135,
    IDS_PROTOCOL_WSD = 136,
    IDS_WSD_READ_ONLY = 137,
    IDS_STATUS_FAULTS = 138,
    IDS_STATUS_REFUSED = 139,
    // Marks on rows.
    IDS_SILENT_TOOLTIP = 140,
    IDS_CONFLICT_DUPLICATE = 141,
    IDS_CONFLICT_HOST = 142,
    IDS_OWN_ADDRESS = 143,
    IDS_CHANGE_PENDING = 144,
    IDS_CHANGE_CONFIRMED = 145,
    IDS_CHANGE_NOT_CONFIRMED = 146,
    IDS_OUTSIDE_AT = 147,
    // Host commands.
    IDS_NO_BROWSER = 150,
    IDS_NO_WEB_ADDRESS = 151,
    IDS_ARP_DONE = 152,
    IDS_ARP_FAILED = 153,
    IDS_ARP_NEEDS_ROOT = 154,
    IDS_ARP_NO_INTERFACE = 155,
    IDS_ARP_RUNNING = 156,
    IDS_LANGUAGE_NOT_SAVED = 157,
    // Export and copy.
    IDS_EXPORT_TITLE = 160,
    IDS_EXPORT_FILTER = 161,
    IDS_EXPORT_DONE = 162,
    IDS_EXPORT_FAILED = 163,
    IDS_COPIED = 164,
    // Address checks, changes and their plans.
    IDS_VERDICT_OUTSIDE = 170,
    IDS_VERDICT_PC = 171,
    IDS_VERDICT_GATEWAY = 172,
    IDS_VERDICT_CAMERA = 173,
    IDS_VERDICT_LINK = 174,
    IDS_RESULT_ANSWERS_OLD = 175,
    IDS_RESULT_GONE = 176,
    IDS_CHANGES_SENT = 177,
    IDS_CHANGES_DONE = 178,
    IDS_MATCH_UNPLACED = 179,
    IDS_MATCH_NOTHING = 180,
    IDS_BATCH_UNPLACED = 181,
    IDS_PLAN_TITLE = 182,
    IDS_PLAN_MOVE = 183,
    IDS_PLAN_SKIP = 184,
    IDS_PLAN_UNPLACED = 185,
    IDS_PLAN_QUESTION = 186,
    IDS_PLAN_MORE_SKIPPED = 187,
    IDS_CREDENTIALS_TITLE = 188,
    IDS_CREDENTIALS_HINT = 189,
    IDS_USER = 190,
    IDS_PASSWORD = 191,
    IDS_STATUS_CHANGES = 192,
    IDS_ADDRESS_CHARACTER = 193,
    // The plan of a change, its reasons and the credentials it needs.
    IDS_PLAN_REFUSED = 194,
    IDS_PLAN_WARNING = 195,
    IDS_PLAN_VALUE = 196,
    IDS_PLAN_SUMMARY = 197,
    IDS_PLAN_SUMMARY_WHY = 198,
    IDS_PLAN_SUMMARY_VALUES = 199,
    IDS_PLAN_NO_VALUE = 200,
    IDS_PLAN_SKIPPED_COUNT = 201,
    IDS_FIELD_IP = 202,
    IDS_FIELD_MASK = 203,
    IDS_FIELD_GATEWAY = 204,
    IDS_FIELD_DNS1 = 205,
    IDS_FIELD_DNS2 = 206,
    IDS_FIELD_HTTP_PORT = 207,
    IDS_FIELD_DHCP = 208,
    IDS_FIELD_USER = 209,
    IDS_FIELD_PASSWORD = 210,
    IDS_PLAN_ON_OFF = 211,
    IDS_ISSUE_NOT_CONFIGURABLE = 212,
    IDS_ISSUE_IN_CONFLICT = 213,
    IDS_ISSUE_ALREADY_INSIDE = 214,
    IDS_ISSUE_NO_INTERFACE = 215,
    IDS_ISSUE_NO_FREE_ADDRESS = 216,
    IDS_ISSUE_BAD_VALUE = 217,
    IDS_ISSUE_GATEWAY_IS_ADDRESS = 218,
    IDS_ISSUE_NO_MASK = 219,
    IDS_ISSUE_PASSWORD_NEEDED = 220,
    IDS_ISSUE_FORCED = 221,
    IDS_ISSUE_NAMED_IN_CONFLICT = 222,
    IDS_CREDENTIALS_NEEDED = 223,
    IDS_CREDENTIALS_REQUIRED = 224,
    IDS_LINK_PROGRESS = 225,
    IDS_PLAN_SEND = 226,
    IDS_PLAN_CANCEL = 227,
    // More of the search's problems in the status line.
    IDS_STATUS_INTERFACE_MISSING = 228,
    IDS_STATUS_ANSWERS_LOST = 229,
    IDS_STATE_BIND_OTHER = 230,
    // Network configuration dialog: a plan's refusal under the field it names.
    IDS_FIELD_GATEWAY_IS_ADDRESS = 231,
    IDS_FIELD_NO_MASK = 232,
    IDS_FIELD_PASSWORD_NEEDED = 233,
    // A changed camera that came back with another MAC.
    IDS_RESULT_OTHER_MAC = 239,
    // Standard cameras, changed through their device service: where a change
    // stands, why it was not confirmed, their credentials and what was read.
    IDS_STANDARD_WAITING = 240,
    IDS_STANDARD_READING = 241,
    IDS_STANDARD_APPLYING = 242,
    IDS_STANDARD_CONFIRMING = 243,
    IDS_STANDARD_ANSWERS_WITH = 244,
    IDS_MISMATCH_NO_INTERFACE = 245,
    IDS_MISMATCH_ADDRESS = 246,
    IDS_MISMATCH_DHCP = 247,
    IDS_MISMATCH_GATEWAY = 248,
    IDS_MISMATCH_DNS = 249,
    IDS_MISMATCH_HTTP_PORT = 250,
    IDS_STANDARD_AUTH_REFUSED = 251,
    IDS_STANDARD_AUTH_BASIC = 252,
    IDS_STANDARD_NOT_SUPPORTED = 253,
    IDS_STANDARD_FAULT = 254,
    IDS_REFUSED_ADDRESS = 255,
    IDS_REFUSED_GATEWAY = 256,
    IDS_REFUSED_DNS = 257,
    IDS_REFUSED_HTTP_PORT = 258,
    IDS_REFUSED_REBOOT = 259,
    IDS_REFUSED_REQUEST = 260,
    IDS_STANDARD_BAD_ANSWER = 261,
    IDS_STANDARD_UNKNOWN = 262,
    IDS_STANDARD_PLAN_REFUSED = 263,
    IDS_STANDARD_SILENT_AT = 264,
    IDS_STANDARD_UNREACHABLE = 265,
    IDS_STANDARD_NOT_READ_BACK = 266,
    IDS_STANDARD_READ_PROGRESS = 267,
    IDS_STANDARD_READ_FAILED = 268,
    IDS_ISSUE_CREDENTIALS_STANDARD = 269,
    IDS_FIELD_USER_NEEDED = 270,
    IDS_FIELD_STANDARD_PASSWORD = 271,
    IDS_CREDENTIALS_STANDARD = 272,
    IDS_CREDENTIALS_USER_REQUIRED = 273,
    IDS_INFO_MODEL = 274,
    IDS_INFO_FIRMWARE = 275,
    IDS_INFO_SERIAL = 276,
    IDS_INFO_DHCP = 277,
    IDS_INFO_GATEWAY = 278,
    IDS_INFO_DNS = 279,
    IDS_TEMPORARY_TITLE = 280,
    IDS_TEMPORARY_QUESTION = 281,
    IDS_TEMPORARY_ON = 282,
    IDS_TEMPORARY_PROGRESS = 283,
    IDS_TEMPORARY_FAILED = 284,
    IDS_ISSUE_NEEDS_TEMPORARY = 285,
    IDS_PLAN_TEMPORARY = 286,
};

// The pack's text for `id`, or the built-in English when the pack has none
// (or an empty one). Placeholders %1, %2 are filled by the caller.
QString UiText(const LanguageX& language, int id);

// The built-in English of `id`; empty for an id this table does not know.
QString DefaultUiText(int id);

// The reasons that the rules of search/ give as values, in the pack's words.
QString VerdictUiText(const LanguageX& language, AddressVerdict verdict);
QString ResultUiText(const LanguageX& language, ChangeResult result);
QString WireProblemUiText(const LanguageX& language, WireValueProblem problem);
// Where a standard camera's change stands, and why it was not confirmed.
QString StandardStateUiText(const LanguageX& language, StandardChangeBatch::State state);
QString StandardOutcomeUiText(const LanguageX& language, const StandardChangeOutcome& outcome);
// Why a standard camera could not be read.
QString StandardFailureUiText(const LanguageX& language,
                              const StandardCameraSession::Failure& failure);

}  // namespace quorvex
