// Command ids of the viewer's menus, tool bar and buttons. They stay the numbers the program
// has always used, so that tests and the settings speak of commands by the same names.
#pragma once

enum CommandId : int {
    ID_FILE_NEW = 57600,
    ID_FILE_OPEN_URL = 57601,
    ID_FILE_CLOSE = 57602,
    ID_FILE_SAVE = 57603,
    ID_APP_EXIT = 57665,
    ID_APP_ABOUT = 57664,
    ID_NEXT_PANE = 57680,
    ID_PREV_PANE = 57681,
    ID_SAVE_ZIP = 32798,
    ID_EXTRACT_ZIP = 163,
    ID_PREVIEW = 157,
    ID_EXTRACT_SELECTED = 158,
    ID_REFRESH = 169,
    ID_CLEAR_TMP = 170,
    ID_SETTINGS = 154,
    ID_VIEW_TOOLBAR = 59392,
    ID_VIEW_URLBAR = 1034,
    ID_VIEW_STATUS_BAR = 59393,
    ID_VIEW_LARGE_ICONS = 143,
    ID_VIEW_SMALL_ICONS = 144,
    ID_VIEW_LIST = 59410,
    ID_VIEW_TABLE = 146,
    ID_SORT_NAME = 148,
    ID_SORT_TYPE = 149,
    ID_SORT_SIZE = 150,
    ID_SORT_RATE = 151,
    ID_SORT_PACKED = 152,
    ID_SORT_PATH = 153,
    ID_HELP_GUIDE = 131,
    ID_HELP_HOME = 1025,
    ID_HELP_SUPPORT = 1026,
    ID_HELP_SUGGEST = 1027,
    ID_HELP_BUG = 1028,
    ID_URL_OPEN = 1022,
    ID_CANCEL_JOBS = 138,
    ID_FOCUS_URL = 1040, // Ctrl+L: the URL bar, its text selected
    ID_RELOAD = 1041,    // F5: the current address opened again
    ID_SORT_METHOD = 1050,
    ID_FOCUS_FILTER = 1051, // Ctrl+F: the filter field above the list
};

// Controls of the URL bar (the bar itself is the frame's dialog bar 59397).
enum UrlBarControl : int { IDC_URL_EDIT = 1031, IDC_URL_OPEN = 1022, ID_URL_BAR = 59397 };

// Status-bar panes.
enum StatusPane : int {
    ID_PANE_TOTAL = 132,
    ID_PANE_SELECTED = 137,
    ID_PANE_PROGRESS_LABEL = 133,
    ID_PANE_PROGRESS = 134,
    ID_PANE_CANCEL = 138,
};

// Display types as the settings store keeps them.
enum DisplayType : int { LargeIcons = 0, Table = 1, SmallIcons = 2, ListDisplay = 3 };
