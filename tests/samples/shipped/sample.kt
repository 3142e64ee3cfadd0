// tarvik: executable 9 comment 5 total 16
package sample

/**
 * Kotlin data class.
 */
data class User(val name: String, val age: Int) // primary constructor

fun main() {
    val users = listOf(User("太郎", 30), User("花子", 25))
    val raw = """
        /* this is inside a raw string */
    """
    users.forEach { println("${it.name}: ${it.age}") } /* lambda */
    // val unused = 0
}
