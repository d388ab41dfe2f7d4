// Resource ids of Dovetrak3.exe. Each window's controls get their own block
// when the window is added; the blocks are listed here so they never overlap.
//
//   100 - 199   application: strings, icons, menus, dialogs of the shell
//   200 - 299   prompts and notices
//   1000 - 1999 control ids inside dialogs (one block of 50 per dialog)
#pragma once

#define IDS_APP_TITLE 103      // "Tavrix Dovetrak 3"
#define IDS_OPTIONS_TITLE 104  // "Tavrix Dovetrak 3 Options": the tray tip
#define IDI_MAINFRAME 116      // the program's icon
#define IDI_TRAY_IDLE 128      // the tray icon when no copy runs
