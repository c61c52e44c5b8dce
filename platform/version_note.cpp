// The release of the library, readable without calling it: an ELF note of
// owner "Velquar" and type 1 whose descriptor is the version text, NUL
// included. `readelf -n` shows it; velquar-props finds it in the loaded
// library's note segments. Nothing refers to it, and the linker keeps note
// sections when it drops unused ones.
#ifndef VELQUAR_VERSION
#error "VELQUAR_VERSION names the release"
#endif

// %note rather than @note: on ARM "@" starts a comment.
asm(".pushsection .note.velquar, \"a\", %note\n"
    ".balign 4\n"
    ".long 2f - 1f\n"  // name size
    ".long 4f - 3f\n"  // descriptor size
    ".long 1\n"        // type: the release
    "1: .asciz \"Velquar\"\n"
    "2: .balign 4\n"
    "3: .asciz \"" VELQUAR_VERSION
    "\"\n"
    "4: .balign 4\n"
    ".popsection\n");
