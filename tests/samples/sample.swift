// tarvik: executable 8 comment 6 total 17
import Foundation

/* MARK: - Model */
struct Item {
    let title: String   // 表示名
    let price: Int
}

/*
 Multi-line comment.

 Swift's block comments can nest, but one level is used here.
*/
let items = [Item(title: "ペン // 赤", price: 120), Item(title: "ノート", price: 300)]
let total = items.reduce(0) { $0 + $1.price } /* sum */
print("合計: \(total)円")
