// Apple's message-sending entry points for the host (x86_64, System V), over GNU's lookup
// functions, so that code built with the device's message-sending path runs here: objc_msgSend,
// objc_msgSendSuper and their _stret forms for a result returned through memory (larger than 16
// bytes), whose hidden result pointer takes the first argument register.
//
// Each one looks the method up and jumps to it with every argument register as it came: the six
// integer registers, xmm0-7 and al (a variadic call's count of vector registers). A super send
// replaces its objc_super pointer by the receiver, the struct's first field, before the jump.

    .text

// The frame of a lookup: rbp, then seven integer registers and eight vector registers saved, the
// stack 16-byte aligned at the call.
.macro SAVE_ARGUMENTS
    .cfi_startproc
    pushq %rbp
    .cfi_def_cfa_offset 16
    .cfi_offset %rbp, -16
    movq %rsp, %rbp
    .cfi_def_cfa_register %rbp
    subq $192, %rsp
    movq %rdi, 0(%rsp)
    movq %rsi, 8(%rsp)
    movq %rdx, 16(%rsp)
    movq %rcx, 24(%rsp)
    movq %r8, 32(%rsp)
    movq %r9, 40(%rsp)
    movq %rax, 48(%rsp)
    movaps %xmm0, 64(%rsp)
    movaps %xmm1, 80(%rsp)
    movaps %xmm2, 96(%rsp)
    movaps %xmm3, 112(%rsp)
    movaps %xmm4, 128(%rsp)
    movaps %xmm5, 144(%rsp)
    movaps %xmm6, 160(%rsp)
    movaps %xmm7, 176(%rsp)
.endm

// Restores the arguments, keeps the looked-up IMP in r11 (no argument register) and leaves the frame.
.macro RESTORE_ARGUMENTS
    movq %rax, %r11
    movq 0(%rsp), %rdi
    movq 8(%rsp), %rsi
    movq 16(%rsp), %rdx
    movq 24(%rsp), %rcx
    movq 32(%rsp), %r8
    movq 40(%rsp), %r9
    movq 48(%rsp), %rax
    movaps 64(%rsp), %xmm0
    movaps 80(%rsp), %xmm1
    movaps 96(%rsp), %xmm2
    movaps 112(%rsp), %xmm3
    movaps 128(%rsp), %xmm4
    movaps 144(%rsp), %xmm5
    movaps 160(%rsp), %xmm6
    movaps 176(%rsp), %xmm7
    leave
    .cfi_def_cfa %rsp, 8
.endm

.macro ENTRY name
    .globl \name
    .type \name, @function
    .p2align 4
\name:
.endm

.macro END name
    .cfi_endproc
    .size \name, . - \name
.endm

// objc_msgSend(receiver, sel, ...)
ENTRY objc_msgSend
    SAVE_ARGUMENTS
    call objc_msg_lookup@PLT
    RESTORE_ARGUMENTS
    jmp *%r11
END objc_msgSend

// objc_msgSend_stret(result, receiver, sel, ...)
ENTRY objc_msgSend_stret
    SAVE_ARGUMENTS
    movq %rsi, %rdi
    movq %rdx, %rsi
    call objc_msg_lookup@PLT
    RESTORE_ARGUMENTS
    jmp *%r11
END objc_msgSend_stret

// objc_msgSendSuper(&{receiver, superclass}, sel, ...)
ENTRY objc_msgSendSuper
    SAVE_ARGUMENTS
    call objc_msg_lookup_super@PLT
    RESTORE_ARGUMENTS
    movq (%rdi), %rdi
    jmp *%r11
END objc_msgSendSuper

// objc_msgSendSuper_stret(result, &{receiver, superclass}, sel, ...)
ENTRY objc_msgSendSuper_stret
    SAVE_ARGUMENTS
    movq %rsi, %rdi
    movq %rdx, %rsi
    call objc_msg_lookup_super@PLT
    RESTORE_ARGUMENTS
    movq (%rsi), %rsi
    jmp *%r11
END objc_msgSendSuper_stret

    .section .note.GNU-stack, "", @progbits
