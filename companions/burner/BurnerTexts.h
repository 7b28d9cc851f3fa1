#pragma once

// The numbers of the burner's texts in Ardent8.lang. The burner's own texts
// are 30000 to 30199; the message box's caption and answer buttons keep the
// numbers the shared message box reads (100, 8016, 6084, 11320, 11323, 11268).

inline constexpr int IDS_BURNER_TITLE = 30000;
inline constexpr int IDS_BURNER_IMAGE = 30001;
inline constexpr int IDS_BURNER_IMAGE_LINE = 30002;
inline constexpr int IDS_BURNER_DRIVE = 30003;
inline constexpr int IDS_BURNER_NO_DRIVE = 30004;
inline constexpr int IDS_BURNER_MEDIUM = 30005;
inline constexpr int IDS_BURNER_SPEED = 30006;
inline constexpr int IDS_BURNER_SPEED_MAX = 30007;
inline constexpr int IDS_BURNER_VERIFY = 30008;
inline constexpr int IDS_BURNER_EJECT = 30009;
inline constexpr int IDS_BURNER_BURN = 30010;
inline constexpr int IDS_BURNER_CANCEL = 30011;
inline constexpr int IDS_BURNER_CLOSE = 30012;
inline constexpr int IDS_BURNER_DRIVE_ERROR = 30013;

inline constexpr int IDS_MEDIUM_NONE = 30020;
inline constexpr int IDS_MEDIUM_BLANK = 30021;
inline constexpr int IDS_MEDIUM_APPENDABLE = 30022;
inline constexpr int IDS_MEDIUM_FULL = 30023;
inline constexpr int IDS_MEDIUM_UNUSABLE = 30024;
inline constexpr int IDS_MEDIUM_FITS = 30025;
inline constexpr int IDS_MEDIUM_TOO_SMALL = 30026;
inline constexpr int IDS_MEDIUM_REWRITABLE = 30027;
inline constexpr int IDS_KIND_FILE = 30028;
inline constexpr int IDS_KIND_CD = 30029;
inline constexpr int IDS_KIND_DVD = 30030;
inline constexpr int IDS_KIND_BD = 30031;
inline constexpr int IDS_KIND_OTHER = 30032;
inline constexpr int IDS_MEDIUM_EJECTED = 30033;
inline constexpr int IDS_MEDIUM_NO_DRIVE = 30034;

inline constexpr int IDS_STATE_READY = 30040;
inline constexpr int IDS_STATE_BLANKING = 30041;
inline constexpr int IDS_STATE_WRITING = 30042;
inline constexpr int IDS_STATE_VERIFYING = 30043;
inline constexpr int IDS_STATE_DONE_VERIFIED = 30044;
inline constexpr int IDS_STATE_DONE = 30045;
inline constexpr int IDS_STATE_CANCELLED = 30046;
inline constexpr int IDS_STATE_FAILED = 30047;
inline constexpr int IDS_STATE_MISMATCH = 30048;
inline constexpr int IDS_STATE_UNREADABLE = 30049;
inline constexpr int IDS_STATE_CANCELLING = 30050;
inline constexpr int IDS_STATE_CLOSING = 30051;
inline constexpr int IDS_STATE_STARTING = 30052;
inline constexpr int IDS_STATE_BLANK_FAILED = 30053;

inline constexpr int IDS_MSG_TOO_LARGE = 30060;
inline constexpr int IDS_MSG_ASK_BLANK = 30061;
inline constexpr int IDS_MSG_NOT_ERASABLE = 30062;
inline constexpr int IDS_MSG_ASK_STOP = 30063;
inline constexpr int IDS_MSG_ALREADY_RUNNING = 30064;
inline constexpr int IDS_MSG_IMAGE_UNREADABLE = 30065;
inline constexpr int IDS_MSG_CHOOSE_IMAGE = 30066;
inline constexpr int IDS_MSG_IMAGE_FILTER = 30067;
inline constexpr int IDS_MSG_NO_IMAGE = 30068;
inline constexpr int IDS_MSG_NO_REASON = 30069;
inline constexpr int IDS_MSG_NO_LIBRARY = 30070;
inline constexpr int IDS_MSG_NOT_WRITABLE = 30071;
inline constexpr int IDS_MSG_NO_MEDIUM = 30072;
inline constexpr int IDS_MSG_FAILED = 30073;
inline constexpr int IDS_MSG_APPENDABLE_WRITE_ONCE = 30074;

inline constexpr int IDS_SPEED_TIMES = 30080;
inline constexpr int IDS_SPEED_MBS = 30081;
inline constexpr int IDS_UNKNOWN = 30082;
inline constexpr int IDS_SIZE_BYTES = 30083;
inline constexpr int IDS_SIZE_KB = 30084;
inline constexpr int IDS_SIZE_MB = 30085;
inline constexpr int IDS_SIZE_GB = 30086;

inline constexpr int IDS_HELP_USAGE = 30090;
inline constexpr int IDS_HELP_ABOUT = 30091;
inline constexpr int IDS_HELP_DRIVE = 30092;
inline constexpr int IDS_HELP_MEDIUM_SIZE = 30093;
inline constexpr int IDS_HELP_HELP = 30094;
inline constexpr int IDS_ARG_UNKNOWN = 30095;
inline constexpr int IDS_ARG_NEEDS_VALUE = 30096;
inline constexpr int IDS_ARG_BAD_SIZE = 30097;
inline constexpr int IDS_NO_LANGUAGE = 30098;
