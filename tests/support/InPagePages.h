// Local pages whose listings grow inside the page: a "load more" button and an endless
// page, for the in-page turns on the real engine. The listings read "Listing 0", "Listing 1"
// and so on, one li.item with a span.n each.
#pragma once

#include <QByteArray>
#include <QString>

// Ten listings on show and a "More" button (#more) that runs `press`, JavaScript in which
// add(n) appends n listings and `this` is the button.
inline QByteArray loadMorePage(const QString& press) {
    return QStringLiteral(R"(<!DOCTYPE html><html><body>
<ul id="list"></ul><button id="more" type="button">More</button>
<script>
var list = document.getElementById('list'), added = 0;
function add(n) {
    for (var i = 0; i < n; ++i, ++added) {
        var li = document.createElement('li');
        li.className = 'item';
        li.innerHTML = '<span class="n">Listing ' + added + '</span>';
        list.appendChild(li);
    }
}
add(10);
document.getElementById('more').addEventListener('click', function () { %1 });
</script></body></html>)")
        .arg(press)
        .toUtf8();
}

// Tall listings; reaching the end adds ten more, for ever.
inline const QByteArray kEndlessPage = QByteArrayLiteral(R"(<!DOCTYPE html><html><body>
<ul id="list"></ul>
<script>
var list = document.getElementById('list'), added = 0, busy = false;
function add(n) {
    for (var i = 0; i < n; ++i, ++added) {
        var li = document.createElement('li');
        li.className = 'item';
        li.style.height = '120px';
        li.innerHTML = '<span class="n">Listing ' + added + '</span>';
        list.appendChild(li);
    }
}
add(10);
window.addEventListener('scroll', function () {
    if (busy || window.innerHeight + window.scrollY < document.body.scrollHeight - 50)
        return;
    busy = true;
    setTimeout(function () { add(10); busy = false; }, 150);
});
</script></body></html>)");

// A press that adds ten listings a moment later, and removes the button once there are
// forty: three presses take the page to its end.
inline constexpr char kAddTenUntilForty[] =
    "var b = this; setTimeout(function () { add(10); if (added >= 40) b.remove(); }, 300);";
