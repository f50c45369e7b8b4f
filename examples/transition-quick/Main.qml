import QtQuick
import QtQuick.Window
import Mirel.Transitions

Window {
    width: 480
    height: 360
    visible: true
    color: "black"
    title: "Mirel transitions"

    property int next: 0

    function play() {
        view.source = pictures[next]
        next = (next + 1) % pictures.length
        view.execute()
    }

    TransitionView {
        id: view
        anchors.fill: parent
        anchors.bottomMargin: 24
        stretch: true
        stretchFine: true
        color: "black"
        step: 5
        delay: 20
        styleName: "Circular reveal from centre"

        onCompleted: {
            if (once) {
                Qt.exit(0)
                return
            }
            style = style % 150 + 1
            pause.start()
        }
    }

    Timer { id: pause; interval: 1500; onTriggered: play() }

    Text {
        anchors.bottom: parent.bottom
        anchors.horizontalCenter: parent.horizontalCenter
        color: "white"
        text: view.style + ": " + view.styleName + " (" + view.progress + "%)"
    }

    Component.onCompleted: play()
}
