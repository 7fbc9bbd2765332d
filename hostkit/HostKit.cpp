// Placeholder until the host kit lands.
namespace zk_hostkit {
int HostKitVersion() { return 1; }
}
