/* Preloaded into the sanitizer run: modules are never unloaded, so an allocation made inside a
 * plugin that a library loads and drops again (ALSA's PulseAudio plugin) can still be named in
 * a leak report and matched by the suppressions, instead of showing as "<unknown module>". */
int dlclose(void* handle)
{
    (void)handle;
    return 0;
}
