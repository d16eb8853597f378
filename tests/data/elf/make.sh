#!/usr/bin/env bash
# Builds the ELF test images and what objcopy makes of them, committed so the
# tests run without the cross compiler (Debian: gcc-arm-none-eabi).
set -euo pipefail
cd "$(dirname "$0")"
build() {  # name, cpu, flash size, RAM size
  arm-none-eabi-gcc -mcpu="$2" -mthumb -Os -nostdlib -ffreestanding -Wl,--defsym=FLASH_SIZE="$3" \
    -Wl,--defsym=RAM_SIZE="$4" -T link.ld -Wl,--build-id=none -Wl,-z,max-page-size=4 -o "$1.elf" app.c
  arm-none-eabi-objcopy -O binary "$1.elf" "$1.bin"
}
build f103 cortex-m3 128K 20K
build g031 cortex-m0plus 64K 8K
