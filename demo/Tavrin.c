/* The demo's stand-in for the business program korekta corrects: a console program that
   says which firm's build it is and which update server that build asks. The demo builds it
   once per firm (and once as the outdated installed build) with the texts as macros. */
#include <stdio.h>

#ifndef TAVRIN_FIRM
#define TAVRIN_FIRM "(instalacja)"
#endif
#ifndef TAVRIN_SERVER
#define TAVRIN_SERVER "stary-serwer.invalid"
#endif

/* One marker line, so the demo can tell the builds apart by their bytes alone. */
static const char kBuild[] = "TAVRIN-DEMO firma=" TAVRIN_FIRM " serwer=" TAVRIN_SERVER;

int main(void) {
    printf("Tavrin (demo) - wersja dla firmy %s\n", TAVRIN_FIRM);
    printf("Serwer Aktualizacji: %s\n", TAVRIN_SERVER);
    printf("[%s]\n", kBuild);
    return 0;
}
