/* A firmware in miniature: vectors, code, constants, initialised data kept
   in flash and copied to RAM at start, and zeroed data that takes no file
   bytes. */
extern unsigned int _sidata, _sdata, _edata, _sbss, _ebss, _estack;

static const char banner[] = "velkor test image";
unsigned int counter = 0x12345678u;      /* .data: runs in RAM, loaded from flash */
unsigned int table[4] = {1u, 2u, 3u, 4u};
unsigned int scratch[64];                /* .bss */

void Reset_Handler(void);

__attribute__((section(".isr_vector"), used))
const void *const vectors[4] = {&_estack, (const void *)Reset_Handler, (const void *)Reset_Handler,
                                (const void *)Reset_Handler};

void Reset_Handler(void) {
    unsigned int *src = &_sidata;
    for (unsigned int *dst = &_sdata; dst < &_edata;) *dst++ = *src++;
    for (unsigned int *dst = &_sbss; dst < &_ebss;) *dst++ = 0;
    for (;;) {
        counter += table[counter & 3u] + (unsigned int)banner[counter & 15u];
        scratch[counter & 63u] = counter;
    }
}
