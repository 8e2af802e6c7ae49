#include "app/Console.h"

int main() {
    g_Console.Print("Welcome to Brakmoor.");
    g_Console.Print("Tovan engine out, good bye!");
    return 0;
}
