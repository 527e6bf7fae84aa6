// Calls into external shared libraries. On 64-bit Linux an argument slot is pointer-sized: an
// Integer argument travels as a 32-bit integer, LongInt, Real and String arguments as pointers.
// The result register is taken whole; the callers decode it by the routine's result kind.
#include "kestrel/Kestrel.h"
#include "platform/SharedLibrary.h"

#include <ffi.h>

namespace ksl {

TDLLRet TKestrel::CallDLL(const std::string& FileName, const std::string& APIName,
                          const uintptr_t* lpArg, int32_t ArgCount, const uint8_t* argTypes) {
    TDLLRet ret;
    if (ArgCount < 0 || size_t(ArgCount) > MaxExternalArguments) return ret;
    platform::SharedLibrary library(FileName);
    void* entry = library.Symbol(APIName);
    if (!entry) return ret;

    ffi_type* types[MaxExternalArguments];
    void* values[MaxExternalArguments];
    int32_t narrowed[MaxExternalArguments];
    for (int32_t i = 0; i < ArgCount; ++i) {
        if (argTypes[i] == atInteger) {
            narrowed[i] = int32_t(uint32_t(lpArg[i]));
            types[i] = &ffi_type_sint32;
            values[i] = &narrowed[i];
        } else {
            types[i] = &ffi_type_pointer;
            values[i] = const_cast<uintptr_t*>(&lpArg[i]);
        }
    }
    ffi_cif cif;
    if (ffi_prep_cif(&cif, FFI_DEFAULT_ABI, unsigned(ArgCount), &ffi_type_pointer, types) != FFI_OK)
        return ret;
    ffi_arg result = 0;
    ffi_call(&cif, FFI_FN(entry), &result, values);
    ret.rEAX = uintptr_t(result);
    return ret;
}

} // namespace ksl
