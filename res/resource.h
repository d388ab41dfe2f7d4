// Resource ids of Dovetrak3.exe. The ids are fixed: other programs, the tests
// and the help pages find windows and controls by them. Ids of different
// resource types may share a number (string 104 and dialog 104 are two
// things); ids of one type never do.
//
//   100 - 299       dialogs, icons, bitmaps, menus, the animation, short strings
//   1000 - 1199     control ids inside dialogs (shared between dialogs:
//                   a control that plays the same part has the same id)
//   6969            the drawn close button of every dialog
//   57000 - 57999   longer strings (messages with placeholders, page names)
#pragma once

// ------------------------------------------------------------------ strings
#define IDS_APP_TITLE 103          // "Tavrix Dovetrak 3"
#define IDS_OPTIONS_TITLE 104      // "Tavrix Dovetrak 3 Options": the tray tip
#define IDS_FILE_TOO_LARGE 57670   // "The file %1 exceeds ..."
#define IDS_FILE_ERROR 57671       // "While processing file: %1 ... %2 %3"
#define IDS_NAME_TOO_LONG 57672    // "The file name: %1 is too long. ..."
#define IDS_DISK_DATES 57675       // "This disk contains files from %1 to %2. ..."
#define IDS_NOTE_NO_DRIVE 57682    // file error note for error 15
#define IDS_NOTE_BLANK 57683       // file error note for any other error
#define IDS_NO_DISK_RETRY 57684    // volume rename without a disk
#define IDS_WIZARD_HELP_0 57686    // wizard help pages, one per page index 0 to 6
#define IDS_WIZARD_HELP_6 57692
#define IDS_PROGRESS_FILE 57695    // "%s"
#define IDS_PROGRESS_MINUTES 57696 // "%d Minute(s) Remaining"
#define IDS_PROGRESS_SECONDS 57697 // "%d Seconds Remaining"
#define IDS_WEB_ADDRESS 57698      // the program's web address
#define IDS_COPY_SIZE 57700        // "Copy Size: %1 MB"
#define IDS_SETTINGS_HELP 57717    // settings sheet help page (57717 to 57721)
#define IDS_FROM_TO 57722          // "From '%s' to '%s'"
#define IDS_PICKER_HELP 57725      // folder picker help page
#define IDS_FILTER_HELP 57726      // exclusion dialog help page
#define IDS_NOTE_NOT_READY 57729   // file error note for error 21
#define IDS_VERSION 57730          // "ver. " and the version (Version.h)
#define IDS_PASSWORDS_DIFFER 57740 // protecting a disk: the two typed passwords differ
#define IDS_WRONG_PASSWORD 57741   // unprotecting a disk: not the disk's password
#define IDS_ALREADY_PROTECTED 57742
#define IDS_NOT_PROTECTED 57743
#define IDS_HARDWARE_PROTECTED 57744 // protected by the medium's switch or the system
#define IDS_NOT_READ_ONLY 57745    // protected, but the volume is not read-only for all
#define IDS_PROTECT_FAILED 57746   // "The disk could not be protected. %1"
#define IDS_UNPROTECT_FAILED 57747 // "The protection could not be removed. %1"
#define IDS_PROTECT_HEADLINE 57748 // the headlines of the disk notices (219)
#define IDS_UNPROTECT_HEADLINE 57749
#define IDS_PARTLY_PROTECTED 57750
#define IDS_UNPROTECT_NO_PASSWORD 57751 // dialog 218 for a disk protected without a password

// -------------------------------------------------------------------- icons
#define IDI_MAINFRAME 116          // the program's icon
#define IDI_DRIVE_FIRST 119        // drive sub-family icons 119 to 126
#define IDI_DRIVE_LAST 126
#define IDI_TRAY_IDLE 128          // the tray icon when no copy runs
#define IDI_TRAY_FRAME_FIRST 181   // the five animation frames 181 to 185
#define IDI_TRAY_FRAME_LAST 185

// ---------------------------------------------- bitmaps, menu, animation
#define IDB_BACKGROUND 209         // the dialogs' background picture
#define IDB_PROTECTED 123          // settings page: the disk is protected (no picture yet)
#define IDB_UNPROTECTED 124        // settings page: the disk is not protected (no picture yet)
#define IDR_TRAY_MENU 107          // the tray menu (same id as the tray icon's id)
#define IDR_COPY_ANIMATION 194     // the copy clip (resource type "AVI")
// The splash pictures are named resources: "IDB_SPLASH24", "IDB_SPLASH8",
// "IDB_SPLASH4" and the alternative "IDB_SPLISH24", "IDB_SPLISH8", "IDB_SPLISH4".

// ------------------------------------------------------------------ dialogs
#define IDD_DISK_FULL_LINK 104     // removable disk full, with a link
#define IDD_TURN_OFF 135           // the turning-off question
#define IDD_INSERT_DISK 136        // "Please insert the disk ..."
#define IDD_NOT_MY_DISK 115        // the disk is not the program's disk
#define IDD_SOURCE_MISSING 113     // "Source Does not Exist. ..."
#define IDD_NO_DISK 160            // no disk in the drive
#define IDD_FILE_TOO_LARGE 162
#define IDD_FILE_ERROR 163
#define IDD_NAME_TOO_LONG 164
#define IDD_INVALID_PATH 167
#define IDD_NOT_FIXED_SOURCE 127
#define IDD_PROGRESS 192           // the copy progress window
#define IDD_RENAME_VOLUME 198
#define IDD_RENAME_NO_DISK 199
#define IDD_FILLING_LINK 202       // disk becoming full, with a link
#define IDD_PASSWORD 203
#define IDD_UNPROTECT 204
#define IDD_SAME_FOLDER 208
#define IDD_NO_MAKER_DRIVE 210
#define IDD_FULL_FIXED 211         // fixed or network destination full
#define IDD_FULL_REMOVABLE 212
#define IDD_FILLING_FIXED 214
#define IDD_FILLING_BUY 215
#define IDD_SAME_DRIVE 216
#define IDD_PROTECT_DISK 217       // the drive library's "Protect this disk"
#define IDD_UNPROTECT_DISK 218     // the drive library's "Unprotect this disk"
#define IDD_DISK_NOTICE 219        // a protection notice: headline, text, OK

// ----------------------------------------------------------- control ids
#define IDC_PASSWORD 1000          // dialogs 203, 217, 218: the password
#define IDC_PASSWORD_CONFIRM 1001  // dialog 217: the password typed again
#define IDC_PROTECT_STATUS 1002    // dialogs 217, 218: why OK did not go through
#define IDC_NOTICE_TEXT 1003       // dialog 219
#define IDC_UNPROTECT_TEXT 1004    // dialog 218: what OK will do
#define IDC_DRIVE_ICON 1005        // dialog 136: the drive's icon
#define IDC_DONT_SHOW 1011         // dialogs 162, 163, 164
#define IDC_DRIVE_LABEL 1013       // dialog 136: the drive's label
#define IDC_CHOICE_GO_ON 1027      // first radio button of the disk prompts
#define IDC_CHOICE_NO_WARN 1028    // "Do not warn me again."
#define IDC_CHOICE_DISABLE 1029    // "Disable Tavrix Dovetrak 3."
#define IDC_CHOICE_MAKE_MINE 1030  // dialog 115: make the current disk mine
#define IDC_MESSAGE_LARGE 1054     // dialog 162
#define IDC_MESSAGE_ERROR 1055     // dialog 163 (read-only edit)
#define IDC_MESSAGE_NAME 1056      // dialog 164
#define IDC_HEADLINE 1062          // the bold headline of a prompt
#define IDC_DISK_DATES 1073        // dialogs 104, 212
#define IDC_VOLUME_NAME 1081       // dialog 198
#define IDC_ERROR_NOTE 1093        // dialog 163
#define IDC_PROGRESS_BAR 1094      // dialog 192
#define IDC_PROGRESS_FILE 1095
#define IDC_PROGRESS_CLIP 1096
#define IDC_PROGRESS_LEFT 1105
#define IDC_NO_DISK_TEXT 1133      // dialog 199 (read-only edit)
#define IDC_DONT_SHOW_BUY 1142     // dialogs 202, 214, 215
#define IDC_LINK_FILLING 1145      // dialog 202
#define IDC_PROGRESS_FROM_TO 1146
#define IDC_LINK_FULL 1147         // dialog 104
#define IDC_CLOSE_BOX 6969         // the drawn close button

// ------------------------------------------------ file exclusion dialog
// Dialog 200 and its controls; 1000 and 1002 play other parts in the
// password dialogs, which never share a window with these.
#define IDD_FILE_EXCLUSION 200
#define IDC_EXCLUDED_TYPES 1000    // the right list: the extensions excluded
#define IDC_TYPED_EXTENSION 1002   // the edit for an extension the user types
#define IDC_OFFERED_TYPES 1016     // the left list: the registered file types
#define IDC_ADD_EXCLUSION 1097     // "&Add ->"
#define IDC_REMOVE_EXCLUSION 1098  // "<- &Remove"
#define IDC_EXCLUSION_HELP 1156    // "&Help"
#define IDS_USER_DEFINED_TYPE 57728 // "User Defined Type": a typed extension's description

// ------------------------------------------------- folder picker, drive trees
// The folder picker (129) and its new-folder question (120); the destination
// drive tree of the settings General page (102) and the wizard (111) is
// control 1000 of those templates. Control ids follow the shared ones: 1000
// the tree, 1062 the headline, 1081 the typed name, 1027 a status line.
#define IDD_FOLDER_PICKER 129
#define IDD_NEW_FOLDER 120
#define IDC_FOLDER_TREE 1000       // dialogs 129, 102, 111: the drive and folder tree
#define IDC_NEW_FOLDER 1021        // "&New Folder..."
#define IDC_COPY_SIZE 1027         // "Copy Size: %1 MB"
#define IDC_NEW_FOLDER_NAME 1081   // dialog 120: the path of the folder to create
#define IDC_SOURCE_LIST 1096       // the chosen folders
#define IDC_ADD_FOLDER 1097        // "&Add >"
#define IDC_REMOVE_FOLDER 1098     // "< &Remove"
#define IDC_HELP_BUTTON 1155       // "&Help"

// ------------------------------------------------------------ tray menu
#define ID_TRAY_OPEN 40008
#define ID_TRAY_CLOSE 40009
#define ID_TRAY_COPY_CHANGED 40010
#define ID_TRAY_COPY_ALL 40011
#define ID_TRAY_HELP 40012
#define ID_TRAY_ABOUT 57664

// ------------------------------------------------------ the settings window
// The window (101) holds a property sheet in the place of static 1000, with
// the pages General (102), Advanced (103) and Scheduling (194).
#define IDD_SETTINGS 101
#define IDD_PAGE_GENERAL 102
#define IDD_PAGE_ADVANCED 103
#define IDD_PAGE_SCHEDULING 194
#define IDS_FREE_SPACE 57699          // "Free Space: %1 MB"
#define IDC_SHEET_PLACE 1000          // 101: where the sheet goes
#define IDC_SETTINGS_HELP 1012        // 101: "&Help"
#define IDC_MIRROR_ON 1001            // General
#define IDC_MIRROR_OFF 1002
#define IDC_DEST_TREE 1000
#define IDC_FREE_SPACE 1022
#define IDC_GEN_SOURCES 1024
#define IDC_ADD_REMOVE 1083
#define IDC_PROTECT_DISK 1028         // General, hidden: the disk commands
#define IDC_UNPROTECT_DISK 1029
#define IDC_REFRESH 1102
#define IDC_RENAME_VOLUME 1132
#define IDC_PAGE_NEW_FOLDER 1159
#define IDC_PAGE_HIDDEN_LIST 1041
#define IDC_PAGE_HIDDEN_COMBO 1101
#define IDC_PAGE_HIDDEN_TEXT 1031
#define IDC_PAGE_HIDDEN_TEXT2 1032
#define IDC_PAGE_HEADLINE_FIRST 1064  // the bold group captions, 1064 to 1068
#define IDC_PAGE_HEADLINE_LAST 1068
#define IDC_TRAY_ICON 1052            // Advanced
#define IDC_REV_NONE 1007
#define IDC_REV_UNLIMITED 1006
#define IDC_REV_LIMITED 1103
#define IDC_REV_LIMIT 1043
#define IDC_REV_SPIN 1012
#define IDC_FILE_EXCLUSION 1135
#define IDC_WARN_NO_DISK 1011
#define IDC_WARN_FULL 1025
#define IDC_SHOW_PROGRESS 1026
#define IDC_SCHED_ON_SAVE 1104        // Scheduling
#define IDC_SCHED_EVERY 1106
#define IDC_SCHED_DAYS 1107
#define IDC_SCHED_INTERVAL 1122
#define IDC_SCHED_SPIN 1108
#define IDC_SCHED_UNIT 1109
#define IDC_SCHED_SUNDAY 1110         // the day boxes, Sunday 1110 to Saturday 1116
#define IDC_SCHED_DAY_LABEL 1124      // their labels, 1124 to 1130
#define IDC_SCHED_TIME 1157
#define IDC_SCHED_AT_SHUTDOWN 1119
#define IDC_SCHED_SHUTDOWN_ONLY 1118
#define IDC_COPY_CHANGED 1009
#define IDC_COPY_ALL 1010

// --------------------------------------------------------- the setup wizard
// The frame (134) shows one page at a time in the place of static 1042; page
// 110 is never shown. 207 closes the first complete copy.
#define IDB_WIZARD_SIDE 213
#define IDD_WIZARD 134
#define IDD_WIZ_WELCOME 109
#define IDD_WIZ_LABEL 110
#define IDD_WIZ_DESTINATION 111
#define IDD_WIZ_SOURCES 130
#define IDD_WIZ_REVISIONS 131
#define IDD_WIZ_REVIEW 132
#define IDD_WIZ_FINISH 133
#define IDD_FIRST_COPY_DONE 207
#define IDS_MY_DOCUMENTS 3            // "C:\My Documents"
#define IDS_REVISIONS_KEPT 4          // "The number of revisions you want to keep: %d"
#define IDS_REVISIONS_UNLIMITED 6
#define IDS_DISKS_NEEDED 57680        // "Approximate number of disk(s) needed ...: %1"
#define IDC_WIZ_NEXT 1015
#define IDC_WIZ_START 1032            // "&Next >" of the last page
#define IDC_WIZ_BACK 1016
#define IDC_WIZ_HELP 1014
#define IDC_WIZ_PICTURE 1048
#define IDC_WIZ_PLACE 1042
#define IDC_WIZ_USED 1036             // destination page
#define IDC_WIZ_FREE 1037
#define IDC_WIZ_HIDDEN_LIST 1040
#define IDC_WIZ_SOURCES 1099          // sources page
#define IDC_WIZ_COPY_SIZE 1027
#define IDC_WIZ_REV_NONE 1007         // revisions page
#define IDC_WIZ_REV_UNLIMITED 1148
#define IDC_WIZ_REV_LIMITED 1006
#define IDC_WIZ_REV_LIMIT 1012
#define IDC_WIZ_REV_SPIN 1011
#define IDC_WIZ_REVIEW_SOURCES 1018   // review page
#define IDC_WIZ_REVIEW_DRIVE 1033
#define IDC_WIZ_REVIEW_FREE 1034
#define IDC_WIZ_REVIEW_REVISIONS 1035
#define IDC_WIZ_REVIEW_DISKS 1038
#define IDC_WIZ_REVIEW_LINK 1017
#define IDC_WIZ_TRAY 1049             // last page
#define IDC_DONE_WEB 1149             // dialog 207
#define IDC_DONE_MANUAL 1150
#define IDC_DONE_SETTINGS 1151
#define IDC_DONE_EXIT 1152
#define IDC_DONE_WEB_CHECK 1020
