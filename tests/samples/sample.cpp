// tarvik: executable 18 comment 6 total 28
#include <iostream>
#include <string>

namespace demo {

/// Doxygen line comment.
/** Doxygen block
 *  with two lines
 */
class Greeter {
public:
    explicit Greeter(std::string name) : name_(std::move(name)) {}
    std::string greet() const { return "Hello, " + name_ + "!"; } // inline
private:
    std::string name_; /* member */
};

}  // namespace demo

int main() {
    const char* raw = R"(a /* raw */ b)";
    demo::Greeter g{"世界"};
    std::cout << g.greet() << '\n';   /* print */ std::cout << "//" << std::endl;
    int x = 10 / 2 /* half */ * 3;
    /**/
    return x > 0 ? 0 : 1;
}
