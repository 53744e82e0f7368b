// A shared library that loads but has none of the functions the service looks
// for: what a wrong or broken build of a system library looks like.
extern "C" {
int tessavin_no_functions = 0;
}
