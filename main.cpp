// Entry point of the xeb console.
int main(int argc, char** argv) { return 0; }
