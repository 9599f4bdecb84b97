// The engine's single-precision complex value: the element of the complex-array FFT
// (fft.h) and of the spectra that spectrum subtraction works on.
#pragma once

namespace tulim {

class complex {
 public:
  float re;
  float im;

  complex() : re(0), im(0) {}
  complex(float r) : re(r), im(0) {}  // implicit: a real number is a complex one
  complex(float r, float i) : re(r), im(i) {}

  complex operator+(const complex& b) const { return complex(re + b.re, im + b.im); }
  complex operator-(const complex& b) const { return complex(re - b.re, im - b.im); }
  complex operator*(const complex& b) const {
    return complex(re * b.re - im * b.im, re * b.im + im * b.re);
  }
  complex& operator+=(const complex& b) {
    re += b.re;
    im += b.im;
    return *this;
  }
  complex& operator*=(float scale) {
    re *= scale;
    im *= scale;
    return *this;
  }

  float real() const { return re; }
  float imag() const { return im; }
  // The squared magnitude, re^2 + im^2.
  float norm() const { return re * re + im * im; }

  // Prints "%f+%fj", "%f-%fj" (with |im|) or "%f" alone when im is 0, to standard output.
  void print() const;
};

}  // namespace tulim
