// Modifier bits passed to mouse handlers.
#pragma once

typedef enum _modifiers {
    eCommandKey = 1,
    eShiftKey = 2,
    eControlKey = 4,
    eAltKey = 8,
    eLeftButton = 16,
    eRightButton = 32,
    eMiddleButton = 64,
    ePopupMenu = 128,
    eCapsLock = 256,
    eAutoRepeat = 512
} t_modifiers;
