// Integer position in the image plane: pixel column x, pixel row y.
#pragma once

class pos2i {
public:
    pos2i();
    pos2i(const pos2i &other);
    pos2i(int x, int y);

    int x() const { return _x; }
    int y() const { return _y; }

    bool operator==(pos2i other) const;
    pos2i operator=(pos2i other);
    pos2i operator+(pos2i other) const;
    pos2i operator-(pos2i other) const;
    pos2i operator*(int s) const;
    pos2i operator/(int s) const;
    double size() const;

protected:
    int _x;
    int _y;
};
