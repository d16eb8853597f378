#include "settings/elf.h"

#include <cstring>

#include "platform/hex_text.h"

#if defined(VELKOR_HAVE_LIBELF)
#include <gelf.h>
#include <libelf.h>
#endif

bool LooksLikeElf(std::string_view content) { return content.size() >= 4 && content.substr(0, 4) == "\x7F" "ELF"; }

#if defined(VELKOR_HAVE_LIBELF)

namespace {

std::string Address(std::uint64_t a) { return "0x" + platform::Hex8(static_cast<std::uint32_t>(a)); }

std::string MachineName(unsigned machine) {
    switch (machine) {
        case EM_386: return "x86";
        case EM_X86_64: return "x86-64";
        case EM_AARCH64: return "AArch64";
        case EM_RISCV: return "RISC-V";
        case EM_XTENSA: return "Xtensa";
        case EM_AVR: return "AVR";
        case EM_MSP430: return "MSP430";
        default: return "machine " + std::to_string(machine);
    }
}

struct ElfHandle {
    Elf* elf = nullptr;
    ~ElfHandle() {
        if (elf) elf_end(elf);
    }
};

bool Fail(std::string& message, std::string text) {
    message = std::move(text);
    return false;
}

}  // namespace

bool ReadElf(std::string_view content, TImageBuilder& image, std::string& message) {
    if (elf_version(EV_CURRENT) == EV_NONE) return Fail(message, std::string("libelf: ") + elf_errmsg(-1));
    // libelf may convert a foreign byte order in place: it gets a copy.
    std::string copy(content);
    ElfHandle h;
    h.elf = elf_memory(copy.data(), copy.size());
    if (!h.elf || elf_kind(h.elf) != ELF_K_ELF) return Fail(message, std::string("ELF: ") + elf_errmsg(-1));
    if (gelf_getclass(h.elf) != ELFCLASS32)
        return Fail(message, "a 64-bit ELF file: an STM32 runs 32-bit ARM code only");
    GElf_Ehdr eh;
    if (!gelf_getehdr(h.elf, &eh)) return Fail(message, std::string("ELF header: ") + elf_errmsg(-1));
    if (eh.e_machine != EM_ARM) return Fail(message, "an ELF file for " + MachineName(eh.e_machine) + ", not ARM");
    if (eh.e_type != ET_EXEC)
        return Fail(message, "an ELF file that is no executable (an object file?): link it first");
    std::size_t count = 0;
    if (elf_getphdrnum(h.elf, &count) != 0) return Fail(message, std::string("program headers: ") + elf_errmsg(-1));
    bool any = false;
    for (std::size_t i = 0; i < count; ++i) {
        GElf_Phdr ph;
        if (!gelf_getphdr(h.elf, static_cast<int>(i), &ph))
            return Fail(message, "program header " + std::to_string(i) + ": " + elf_errmsg(-1));
        // .bss and the stack take room in RAM but bring no bytes.
        if (ph.p_type != PT_LOAD || ph.p_filesz == 0) continue;
        const std::string segment = "segment " + std::to_string(i) + ": ";
        if (ph.p_offset > content.size() || ph.p_filesz > content.size() - ph.p_offset)
            return Fail(message, segment + "its bytes run past the end of the file");
        // The load address: .data runs in RAM but is kept in flash.
        const std::uint64_t first = ph.p_paddr;
        const std::uint64_t last = first + ph.p_filesz - 1;
        if (last > 0xFFFFFFFFu || !image.Inside(static_cast<std::uint32_t>(first)) ||
            !image.Inside(static_cast<std::uint32_t>(last)))
            return Fail(message, segment + "file bytes at " + Address(first) + "–" + Address(last) +
                                     " lie outside the flash image " + ImageExtent(image.Base()));
        for (std::uint64_t k = 0; k < ph.p_filesz; ++k)
            image.Put(static_cast<std::uint32_t>(first + k), static_cast<std::uint8_t>(content[ph.p_offset + k]));
        any = true;
    }
    if (!any) return Fail(message, "an ELF file without a loadable segment that holds bytes");
    return true;
}

#else

bool ReadElf(std::string_view, TImageBuilder&, std::string& message) {
    message = "an ELF file: this build has no libelf to read it (none exists for Windows here); convert it with "
              "arm-none-eabi-objcopy -O ihex";
    return false;
}

#endif
