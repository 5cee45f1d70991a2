// The other process of a benchmark floor's hop: a queue's sender or a TCP connection's sink.
#include "bench_support.hpp"

int main(int argc, char** argv) { return qor::bench::floorPeerMain(argc, argv); }
