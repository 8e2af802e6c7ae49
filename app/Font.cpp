#include "app/Font.h"

EFont g_Font;
