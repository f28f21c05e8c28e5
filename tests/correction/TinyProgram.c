/* The smallest real Windows program the correction tests serve as a firm's build: the
   tests build it for x64 and for x86 and pad it where a size matters. */
int main(void) {
    return 0;
}
