// Two objects over three time points and planes 2 to 4, read through "Read
// ROIs": the window tests' common dataset of units, links and a division.
#pragma once

#include "keygen.h"
#include "window_fixture.h"

#include <QFrame>
#include <QTest>

inline std::string rect_line(int x, int y, int w, int h, int z, int t)
{
    return std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(z) + " " +
           std::to_string(t) + " " + std::string(h, '2') + std::string(w, '3') +
           std::string(h, '0') + std::string(w, '1') + "\n";
}

// Two objects over three time points and planes 2 to 4: object A at (10, 10)
// drifting right, object B at (40, 40) that divides at t = 2 into B1 and B2.
class DataTest : public WindowTest {
protected:
    void SetUp() override
    {
        WindowTest::SetUp();
        std::string text = "obj\n";
        for (int t = 0; t <= 2; ++t)
            for (int z = 2; z <= 4; ++z) {
                text += rect_line(10 + 2 * t, 10, 8, 8, z, t);
                if (t < 2) {
                    text += rect_line(40, 40, 10, 10, z, t);
                } else {
                    text += rect_line(38, 40, 5, 10, z, t);
                    text += rect_line(45, 40, 5, 10, z, t);
                }
            }
        write("obj.roi", text);
        for (int t = 0; t <= 2; ++t)
            for (int z = 0; z <= 4; ++z)
                write_image("obj", t, z, 30, 64);
        read_rois("obj.roi");
        ASSERT_NE(w->m_roidb, nullptr);
        w->setCurrentFocalPlane(3);
    }

    std::string k(int x, int y, int z, int t) { return keygen(pos4i(x, y, z, t)); }

    void click(int x, int y, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseClick(w->frame_canvas, button, {}, QPoint(x, y));
    }
    void key(Qt::Key key) { QTest::keyClick(w.get(), key); }
};

