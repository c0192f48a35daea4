#include "ComponentCall.h"

#ifdef TZ_COMPONENT_CALL_THUNK
#if defined(__GNUC__)
// The frame pointer survives the call under both conventions (EBP is callee-saved), so
// "mov esp, ebp" undoes both our pushes and whatever the callee popped of them.
asm(R"(
    .text
    .globl _TzCallRestoringStack
    .def _TzCallRestoringStack; .scl 2; .type 32; .endef
_TzCallRestoringStack:
    pushl %ebp
    movl %esp, %ebp
    movl 16(%ebp), %ecx
    movl 12(%ebp), %edx
1:  testl %ecx, %ecx
    jz 2f
    decl %ecx
    pushl (%edx,%ecx,4)
    jmp 1b
2:  call *8(%ebp)
    movl %ebp, %esp
    popl %ebp
    ret
)");
#elif defined(_MSC_VER)
extern "C" __declspec(naked) DWORD __cdecl TzCallRestoringStack(const void*, const DWORD*, DWORD) {
  __asm {
    push ebp
    mov ebp, esp
    mov ecx, [ebp + 16]
    mov edx, [ebp + 12]
  next_arg:
    test ecx, ecx
    jz do_call
    dec ecx
    push dword ptr [edx + ecx * 4]
    jmp next_arg
  do_call:
    call dword ptr [ebp + 8]
    mov esp, ebp
    pop ebp
    ret
  }
}
#else
#error "TzCallRestoringStack needs an x86 assembler of this compiler"
#endif
#endif
