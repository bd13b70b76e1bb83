#pragma once

// Command ids of the menus, toolbar, shortcuts and context menus, as the Windows program numbered
// them.
enum CommandId : int
{
    ID_FIND_NEXT = 104,
    ID_JUMP_TO_SEARCH = 105,
    ID_FIND_ALL = 106,

    ID_NEW_NOTE = 32771,
    ID_DELETE_NOTE = 32772,
    ID_SET_PASSWORD = 32775,
    ID_UNDO_CHANGES = 32782,
    ID_RENAME_NOTE = 32783,
    ID_FONT_TIMES = 32784,
    ID_FONT_TAHOMA = 32785,
    ID_FONT_VERDANA = 32786,
    ID_FONT_LUCIDA = 32787,
    ID_FONT_COURIER = 32788,
    ID_FONT_ARIAL = 32789,
    ID_MOVE_UP = 32791,
    ID_MOVE_DOWN = 32792,
    ID_SORT_NOTES = 32794,
    ID_BOLD = 32795,
    ID_ASSOCIATE = 32796,
    ID_WORD_WRAP = 32797,
    // The notebook's code page; the Windows program had no such choice.
    ID_ENCODING_UTF8 = 32798,
    ID_ENCODING_WINDOWS1252 = 32799,
    // Pelmora's own, beyond the Windows program's.
    ID_CHANGE_PASSPHRASE = 32900,
    // Replace across notes, printing, export and import, and the list of keys.
    ID_REPLACE = 32910,
    ID_UNDO_REPLACE_ALL = 32911,
    ID_PRINT = 32912,
    ID_EXPORT_PDF = 32913,
    ID_EXPORT = 32914,
    ID_IMPORT_FILES = 32915,
    ID_KEYBOARD_SHORTCUTS = 32916,
    ID_CHECK_SPELLING = 32920,
    // Moving around a large notebook, the text's size and the start-up choice.
    ID_GO_TO_NOTE = 32921,
    ID_ZOOM_IN = 32922,
    ID_ZOOM_OUT = 32923,
    ID_ZOOM_RESET = 32924,
    ID_REOPEN_LAST = 32925,

    ID_FILE_NEW = 57600,
    ID_FILE_OPEN = 57601,
    ID_FILE_SAVE = 57603,
    ID_FILE_SAVE_AS = 57604,
    ID_EDIT_COPY = 57634,
    ID_EDIT_CUT = 57635,
    ID_EDIT_PASTE = 57637,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
};

constexpr int ID_FONT_FIRST = ID_FONT_TIMES;
constexpr int ID_FONT_LAST = ID_FONT_ARIAL;
