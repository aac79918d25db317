// A loadable module without the plug-in's export, for the player's refusal test.
extern "C" int velvox_e2e_not_a_plugin() {
    return 0;
}
