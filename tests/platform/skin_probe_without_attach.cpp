// A library by the skin library's name that lacks SkinH_AttachEx.
#if defined(_WIN32)
#define PROBE_EXPORT extern "C" __declspec(dllexport)
#else
#define PROBE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

PROBE_EXPORT int SkinH_Attach()
{
    return 0;
}
