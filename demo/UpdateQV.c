/* The demo's companion updater: it only has to exist beside the program, the correction
   deletes it. */
#include <stdio.h>

int main(void) {
    puts("UpdateQV (demo): aktualizacja z serwera stary-serwer.invalid");
    return 0;
}
