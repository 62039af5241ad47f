// The page has been written by the static CStatusPage object before main is entered.
int main(int /*argc*/, char* /*argv*/[], char* /*envp*/[]) { return 0; }
