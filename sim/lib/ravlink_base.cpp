// The simulated Ravlink base library (libravlink32.so). Card detection only
// looks for this file; the entries come from libvbravlink32.so beside it.
extern "C" int talmer_sim_ravlink_base(void) { return 0; }
