// Preloaded into the onnxruntime child of bench_service_peer to hold it to AVX2 on a
// CPU that has AVX-512, as ONEDNN_MAX_CPU_ISA holds libtorch: onnxruntime picks its
// kernels from CPUID and has no such switch. The kernel is asked to make CPUID fault
// (ARCH_SET_CPUID, where the CPU offers "cpuid_fault"); the fault is answered here
// with the AVX-512 and AMX feature bits cleared. Threads inherit the setting, and the
// program's own SIGSEGV handler still gets every other fault. Benchmark only.

#include <asm/prctl.h>
#include <dlfcn.h>
#include <signal.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

namespace {

// Leaf 7, sub-leaf 0: AVX512F DQ IFMA PF ER CD BW VL in EBX; VBMI VBMI2 VNNI BITALG
// VPOPCNTDQ in ECX; 4VNNIW 4FMAPS VP2INTERSECT AMX-BF16 FP16 AMX-TILE AMX-INT8 in EDX.
constexpr unsigned kEbx =
    1u << 16 | 1u << 17 | 1u << 21 | 1u << 26 | 1u << 27 | 1u << 28 | 1u << 30 | 1u << 31;
constexpr unsigned kEcx = 1u << 1 | 1u << 6 | 1u << 11 | 1u << 12 | 1u << 14;
constexpr unsigned kEdx = 1u << 2 | 1u << 3 | 1u << 8 | 1u << 22 | 1u << 23 | 1u << 24 | 1u << 25;
// Leaf 7, sub-leaf 1: AVX512_BF16 in EAX.
constexpr unsigned kEax1 = 1u << 5;

struct sigaction g_next = {}; // what the program asked for SIGSEGV
using SigactionFn = int (*)(int, const struct sigaction*, struct sigaction*);

SigactionFn realSigaction()
{
    static const auto fn = reinterpret_cast<SigactionFn>(dlsym(RTLD_NEXT, "sigaction"));
    return fn;
}

void setFaulting(bool on)
{
    syscall(SYS_arch_prctl, ARCH_SET_CPUID, on ? 0 : 1);
}

void onSegv(int sig, siginfo_t* info, void* context)
{
    auto* uc = static_cast<ucontext_t*>(context);
    greg_t* r = uc->uc_mcontext.gregs;
    const auto* ip = reinterpret_cast<const unsigned char*>(r[REG_RIP]);
    // A faulting CPUID raises a general protection fault, which has no address.
    if (info->si_code == SI_KERNEL && ip[0] == 0x0f && ip[1] == 0xa2) {
        const unsigned leaf = unsigned(r[REG_RAX]), sub = unsigned(r[REG_RCX]);
        unsigned a, b, c, d;
        setFaulting(false);
        __asm__ volatile("cpuid" : "=a"(a), "=b"(b), "=c"(c), "=d"(d) : "a"(leaf), "c"(sub));
        setFaulting(true);
        if (leaf == 7 && sub == 0) {
            b &= ~kEbx;
            c &= ~kEcx;
            d &= ~kEdx;
        } else if (leaf == 7 && sub == 1) {
            a &= ~kEax1;
        }
        r[REG_RAX] = a;
        r[REG_RBX] = b;
        r[REG_RCX] = c;
        r[REG_RDX] = d;
        r[REG_RIP] += 2;
        return;
    }
    if (g_next.sa_flags & SA_SIGINFO) {
        g_next.sa_sigaction(sig, info, context);
    } else if (g_next.sa_handler != SIG_DFL && g_next.sa_handler != SIG_IGN) {
        g_next.sa_handler(sig);
    } else {
        // Returning re-runs the faulting instruction under the default action.
        struct sigaction plain = {};
        plain.sa_handler = SIG_DFL;
        realSigaction()(SIGSEGV, &plain, nullptr);
    }
}

__attribute__((constructor)) void holdToAvx2()
{
    struct sigaction ours = {};
    ours.sa_sigaction = onSegv;
    ours.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&ours.sa_mask);
    if (realSigaction()(SIGSEGV, &ours, &g_next) == 0)
        setFaulting(true);
}

} // namespace

// The program's SIGSEGV handler is kept to be called for faults that are not CPUID.
extern "C" int sigaction(int signum, const struct sigaction* act, struct sigaction* old)
{
    if (signum != SIGSEGV)
        return realSigaction()(signum, act, old);
    if (old)
        *old = g_next;
    if (act)
        g_next = *act;
    return 0;
}
