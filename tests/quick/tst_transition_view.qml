import QtQuick
import QtTest
import Mirel.Transitions

Item {
    width: 320
    height: 240

    TransitionView {
        id: view
        width: 160
        height: 120
        step: 20
        delay: 0
    }

    SignalSpy { id: started; target: view; signalName: "started" }
    SignalSpy { id: progress; target: view; signalName: "progressChanged" }
    SignalSpy { id: frames; target: view; signalName: "frameShown" }
    SignalSpy { id: completed; target: view; signalName: "completed" }
    SignalSpy { id: stopped; target: view; signalName: "stopped" }
    SignalSpy { id: styleSpy; target: view; signalName: "styleChanged" }

    TestCase {
        name: "TransitionView"
        when: windowShown

        function init() {
            for (const spy of [started, progress, frames, completed, stopped, styleSpy])
                spy.clear()
        }

        Component { id: fresh; TransitionView { width: 80; height: 60 } }

        function test_defaults() {
            const item = createTemporaryObject(fresh, parent)
            compare(item.style, 51)
            compare(item.styleName, "Appear and Contract to middle")
            compare(item.step, 4)
            compare(item.delay, 40)
            compare(item.threaded, true)
            compare(item.busy, false)
            compare(item.progress, 0)
            compare(item.bgMode, TransitionView.BgTiled)
        }

        function test_properties_notify() {
            view.styleName = "Fade"
            compare(view.style, 118)
            compare(styleSpy.count, 1)
            view.style = 118
            compare(styleSpy.count, 1)
            view.style = 999
            compare(view.style, 118)
        }

        function test_a_transition_plays_through(data) {
            view.threaded = data.threaded
            view.color = "black"
            view.clear()
            compare(grabImage(view).pixel(80, 60), Qt.rgba(0, 0, 0, 1))
            view.source = data.picture
            compare(view.errorString, "")
            compare(view.implicitWidth > 0, true)
            view.execute()
            stopped.wait(5000)
            compare(started.count, 1)
            compare(completed.count, 1)
            compare(view.progress, 100)
            compare(view.busy, false)
            compare(progress.count >= 5, true)
            compare(frames.count, 5)
            compare(progress.signalArguments[progress.count - 1][0], 100)
            // The item shows the new picture, not the black background.
            const shot = grabImage(view)
            compare(shot.width, 160)
            verify(shot.pixel(80, 60) !== Qt.rgba(0, 0, 0, 1))
        }
        function test_a_transition_plays_through_data() {
            return [{tag: "threaded", threaded: true, picture: pictureA},
                    {tag: "unthreaded", threaded: false, picture: pictureB}]
        }

        function test_stop_ends_without_completed() {
            view.threaded = true
            view.step = 1
            view.delay = 10
            view.source = pictureB
            view.execute()
            verify(view.busy)
            view.stop()
            compare(stopped.count, 1)
            compare(completed.count, 0)
            compare(view.busy, false)
            view.step = 20
            view.delay = 0
        }

        // Each frame the item shows is the frame of that progress, however
        // fast the frames come: stepped by hand, the item (160 pixels of an
        // 800-pixel picture, unstretched) shows the reveal from the left at
        // each step, the new picture up to the edge, the old one past it.
        function test_the_item_shows_each_frame() {
            view.color = "black"
            view.clear()
            const blank = grabImage(view)
            view.source = pictureA
            view.style = 5 // reveal from left
            view.manual = true
            view.execute()
            for (const p of [5, 10, 15]) {
                view.progress = p
                const shot = grabImage(view)
                const edge = 800 * p / 100
                verify(Qt.colorEqual(shot.pixel(edge + 8, 60), blank.pixel(edge + 8, 60)), "old past " + p + " %")
                verify(!Qt.colorEqual(shot.pixel(edge - 8, 60), blank.pixel(edge - 8, 60)), "new before " + p + " %")
            }
            view.progress = 12
            view.progress = 18
            verify(!Qt.colorEqual(grabImage(view).pixel(136, 60), blank.pixel(136, 60)),
                   "the last of two quick frames is shown")
            view.stop()
            view.manual = false
            view.style = 51
        }

        function test_a_bad_source_reports() {
            ignoreWarning(/TransitionView: .*no-such-file.jpg: .*/)
            view.source = "/no-such-file.jpg"
            verify(view.errorString.indexOf("no-such-file.jpg: ") >= 0)
        }
    }
}
